#!/usr/bin/env python3
"""Checks that includes between the rooms of src/ run only downward.

Floors, from the ground up:
  effect   the spoke engine: values in, pixels out; includes nothing of src/
  state    the plug-in's module-wide state and the host's published types
  preview  the dialog's views
  dialog   the parameters dialog
  host     entry point, selector dispatch, planning, continue phases

A file may include headers of its own room and of rooms below it.  The
engine is checked twice over: it may not include anything outside
src/effect, nor <windows.h>.

Beside the floors stand other front-ends of the engine, which may include
the engine and nothing else of the plug-in:
  gegl     the GEGL operation glimmora:spokes
  web      the engine's C interface for the web page (compiled to WebAssembly)

Exit status 1 lists every offending include.
"""
import pathlib
import re
import sys

FLOORS = ["effect", "state", "preview", "dialog", "host"]
FRONT_ENDS = {"gegl": ["effect"], "web": ["effect"]}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    faults = []
    rooms = sorted(p.name for p in src.iterdir() if p.is_dir())
    for room in rooms:
        if room not in FLOORS and room not in FRONT_ENDS:
            faults.append(f"{src / room}: a room with no floor; add it to {__file__}")
    for path in sorted(src.glob("*/*")):
        if path.suffix not in (".h", ".cpp", ".c"):
            continue
        room = path.parent.name
        if room in FRONT_ENDS:
            for bracket, name in INCLUDE.findall(path.read_text()):
                target = name.split("/")[0] if bracket == '"' and "/" in name else None
                if target is not None and target != room and target not in FRONT_ENDS[room]:
                    faults.append(f'{path}: the {room} front-end includes "{name}"; it may use only the engine')
            continue
        if room not in FLOORS:
            continue
        level = FLOORS.index(room)
        for bracket, name in INCLUDE.findall(path.read_text()):
            if bracket == "<":
                if room == "effect" and name.lower() == "windows.h":
                    faults.append(f"{path}: the engine includes <windows.h>")
                continue
            target = name.split("/")[0] if "/" in name else None
            if target is None:
                # resource.h (res/) holds control ids for the shell and the dialog.
                if room == "effect":
                    faults.append(f'{path}: the engine includes "{name}"')
                continue
            if target not in FLOORS:
                faults.append(f'{path}: includes "{name}" from outside src/')
                continue
            if FLOORS.index(target) > level:
                faults.append(f'{path}: {room} includes "{name}" from {target}, a floor above it')
    for fault in faults:
        print(fault)
    print(f"{len(faults)} include(s) out of order" if faults else "every include runs downward")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())

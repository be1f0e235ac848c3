#!/usr/bin/env python3
"""tools/release.sh run as a maintainer would, and its bundles checked.

The release builds its binaries in a folder of its own (under --work), so
equal bytes here show both that a build does not depend on its folder and
that the bundles hold the very files the test tiers ran.
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tarfile
import time
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "cli"))
sys.dont_write_bytecode = True
from cli_test import write_png  # noqa: E402

ARGS = None


def read(path):
    with open(path, "rb") as f:
        return f.read()


def checksums_hold(text, files):
    """A SHA256SUMS text lists exactly `files`, each with its digest."""
    sums = dict(reversed(line.split("  ", 1)) for line in text.decode().splitlines())
    return sums == {name: hashlib.sha256(data).hexdigest() for name, data in files.items()}


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work, cls.dist = ARGS.work, os.path.join(ARGS.work, "dist")
        run = subprocess.run([os.path.join(ARGS.root, "tools", "release.sh"), "--allow-dirty", "--no-setup", "--out",
                              cls.dist, "--build-dir", os.path.join(cls.work, "build")],
                             stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=900)
        assert run.returncode == 0, run.stdout + run.stderr
        cls.name = "glimmora-" + ARGS.version
        cls.epoch = int(subprocess.check_output(["git", "-C", ARGS.root, "log", "-1", "--format=%ct"]))
        cls.archives = {n: read(os.path.join(cls.dist, n)) for n in os.listdir(cls.dist) if n != "SHA256SUMS"}

    def test_archives_and_their_checksums(self):
        self.assertEqual(sorted(self.archives), [self.name + s for s in
                                                 ("-gegl-linux-x86_64.tar.gz", "-src.tar.gz", "-windows.zip")])
        self.assertTrue(checksums_hold(read(os.path.join(self.dist, "SHA256SUMS")), self.archives))
        self.assertEqual([f for f in os.listdir(self.work) if f.startswith("dist.")], [], "a stage was left")

    def test_windows_bundle_holds_the_tested_plug_ins(self):
        with zipfile.ZipFile(os.path.join(self.dist, self.name + "-windows.zip")) as z:
            files = {n: z.read(n) for n in z.namelist()}
            self.assertEqual(z.namelist(), sorted(["x86/GLIMMORA.8bf", "x64/GLIMMORA.8bf", "INSTALL.txt", "LICENSE",
                                                   "SHA256SUMS"]))
            even = time.gmtime(self.epoch - self.epoch % 2)[:6]  # zip keeps two-second steps
            self.assertEqual({i.date_time for i in z.infolist()}, {even})
        dlls = {"x86/GLIMMORA.8bf": (ARGS.plugin32, b"\x4c\x01"), "x64/GLIMMORA.8bf": (ARGS.plugin64, b"\x64\x86")}
        for name, (tested, machine) in dlls.items():
            self.assertEqual(files[name], read(tested), name)
            pe = int.from_bytes(files[name][0x3c:0x40], "little")
            self.assertEqual(files[name][pe:pe + 6], b"PE\0\0" + machine, name)  # PE32 i386, PE32+ x86-64
        self.assertTrue(checksums_hold(files["SHA256SUMS"], {n: files[n] for n in dlls}))
        for text in ("INSTALL.txt", "LICENSE"):
            self.assertEqual(files[text].count(b"\n"), files[text].count(b"\r\n"), text + ": Windows line endings")
        self.assertIn(b"Version " + ARGS.version.encode(), files["INSTALL.txt"])
        self.assertNotIn(b"@", files["INSTALL.txt"])

    def test_gegl_bundle_installs_where_gegl_finds_it(self):
        path = os.path.join(self.dist, self.name + "-gegl-linux-x86_64.tar.gz")
        header = read(path)[:10]
        self.assertEqual((header[3] & 0x08, header[4:8]), (0, bytes(4)), "gzip keeps a name or a time")
        unpacked = os.path.join(self.work, "unpacked")
        shutil.rmtree(unpacked, ignore_errors=True)
        with tarfile.open(path) as t:
            names = t.getnames()
            self.assertEqual(names, sorted(names))
            self.assertEqual({(m.uid, m.gid, m.mtime) for m in t.getmembers()}, {(0, 0, self.epoch)})
            t.extractall(unpacked)
        folder = os.path.join(unpacked, self.name + "-gegl-linux-x86_64")
        self.assertEqual(sorted(os.listdir(folder)), ["LICENSE", "README.txt", "glimmora-spokes.so", "install.sh"])
        self.assertEqual(read(os.path.join(folder, "glimmora-spokes.so")), read(ARGS.gegl_module))

        # install.sh puts it where GEGL looks when GEGL_PATH is not set; the
        # gegl tool then gives the pixels of the module the GEGL tier tested.
        env = dict(os.environ, XDG_DATA_HOME=os.path.join(self.work, "data"),
                   XDG_CACHE_HOME=os.path.join(self.work, "cache"))
        env.pop("GEGL_PATH", None)
        shutil.rmtree(env["XDG_DATA_HOME"], ignore_errors=True)
        installed = os.path.join(env["XDG_DATA_HOME"], "gegl-0.4", "plug-ins", "glimmora-spokes.so")
        install = [os.path.join(folder, "install.sh")]
        self.assertIn("installed " + installed, subprocess.check_output(install, env=env, text=True))
        source = os.path.join(self.work, "in.png")
        write_png(source, 60, 40, 3, bytes((x * 7 + y * 3 + c * 90) & 255 for y in range(40) for x in range(60)
                                            for c in range(3)))
        tested = os.path.dirname(ARGS.gegl_module) + os.pathsep + ARGS.system_ops
        outputs = []
        for extra in ({}, {"GEGL_PATH": tested}):
            out = os.path.join(self.work, "out%d.png" % len(outputs))
            subprocess.run(["gegl", source, "-o", out, "--", "glimmora:spokes", "spokes=12", "angle=15"],
                           env=dict(env, **extra), capture_output=True, check=True, timeout=120)
            outputs.append(read(out))
        self.assertEqual(outputs[0], outputs[1])
        self.assertIn("removed " + installed,
                      subprocess.check_output(install + ["--uninstall"], env=env, text=True))
        self.assertFalse(os.path.exists(installed))

    def test_a_dirty_tree_is_refused_in_one_line(self):
        clone = os.path.join(self.work, "clone")
        shutil.rmtree(clone, ignore_errors=True)
        subprocess.run(["git", "clone", "-q", ARGS.root, clone], check=True)
        with open(os.path.join(clone, "README.md"), "a") as f:
            f.write("an edit\n")
        run = subprocess.run([os.path.join(clone, "tools", "release.sh"), "--no-setup"], capture_output=True,
                             text=True, timeout=60)
        self.assertEqual((run.returncode, run.stderr.count("\n")), (1, 1), run.stderr)
        self.assertIn("uncommitted changes", run.stderr)
        self.assertFalse(os.path.exists(os.path.join(clone, "dist")))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--root", "--work", "--plugin32", "--plugin64", "--gegl-module", "--system-ops", "--version"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    ARGS.work = os.path.abspath(ARGS.work)
    os.makedirs(ARGS.work, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

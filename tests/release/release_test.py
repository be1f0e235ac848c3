#!/usr/bin/env python3
"""tools/release.sh run as a maintainer would, and its bundles checked.

    release_test.py --root SRC --work DIR --plugin32 8BF --plugin64 8BF --gegl-module SO
                    --system-ops DIR --version VERSION

The release builds its binaries in a folder of its own (under --work), so
equal bytes here show both that a build does not depend on its folder and
that the bundles hold the very files the test tiers ran.
"""
import argparse
import gzip
import hashlib
import os
import shutil
import subprocess
import sys
import tarfile
import time
import unittest
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "cli"))
sys.dont_write_bytecode = True
from cli_test import write_png  # noqa: E402

ARGS = None


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def checksums_hold(text, files):
    """Every line of a SHA256SUMS text names a file of `files` with its digest."""
    lines = text.decode().splitlines()
    return len(lines) == len(files) and all(
        line.split("  ", 1)[0] == sha256(files[line.split("  ", 1)[1]]) for line in lines)


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = os.path.abspath(ARGS.work)
        shutil.rmtree(os.path.join(cls.work, "dist"), ignore_errors=True)
        run = subprocess.run([os.path.join(ARGS.root, "tools", "release.sh"), "--allow-dirty", "--no-setup",
                              "--out", os.path.join(cls.work, "dist"), "--build-dir", os.path.join(cls.work, "build")],
                             stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=900)
        cls.output = run.stdout + run.stderr
        assert run.returncode == 0, cls.output
        cls.dist = os.path.join(cls.work, "dist")
        cls.name = "glimmora-" + ARGS.version
        cls.epoch = int(subprocess.check_output(["git", "-C", ARGS.root, "log", "-1", "--format=%ct"]))

    def test_archives_and_their_checksums(self):
        archives = [self.name + "-windows.zip", self.name + "-gegl-linux-x86_64.tar.gz", self.name + "-src.tar.gz"]
        self.assertEqual(sorted(os.listdir(self.dist)), sorted(archives + ["SHA256SUMS"]))
        for archive in archives:
            self.assertIn(archive, self.output)
        files = {a: read(os.path.join(self.dist, a)) for a in archives}
        self.assertTrue(checksums_hold(read(os.path.join(self.dist, "SHA256SUMS")), files))
        self.assertEqual(os.listdir(os.path.dirname(self.dist)).count("dist"), 1)
        self.assertFalse([f for f in os.listdir(self.work) if f.startswith("dist.")], "a stage was left behind")

    def test_windows_bundle_holds_the_tested_plug_ins(self):
        with zipfile.ZipFile(os.path.join(self.dist, self.name + "-windows.zip")) as z:
            names = z.namelist()
            self.assertEqual(names, sorted(["x86/GLIMMORA.8bf", "x64/GLIMMORA.8bf", "INSTALL.txt", "LICENSE",
                                            "SHA256SUMS"]))
            files = {n: z.read(n) for n in names}
            stamp = time.gmtime(self.epoch)[:6]
            for info in z.infolist():
                self.assertEqual(info.date_time, stamp[:5] + (stamp[5] // 2 * 2,), info.filename)
        self.assertEqual(files["x86/GLIMMORA.8bf"], read(ARGS.plugin32))
        self.assertEqual(files["x64/GLIMMORA.8bf"], read(ARGS.plugin64))
        # PE32 for i386 and PE32+ for x86-64.
        for name, machine in (("x86/GLIMMORA.8bf", b"\x4c\x01"), ("x64/GLIMMORA.8bf", b"\x64\x86")):
            dll = files[name]
            pe = int.from_bytes(dll[0x3c:0x40], "little")
            self.assertEqual(dll[pe:pe + 6], b"PE\0\0" + machine, name)
        self.assertTrue(checksums_hold(files["SHA256SUMS"], {n: files[n] for n in names if n.endswith(".8bf")}))
        for text in ("INSTALL.txt", "LICENSE"):
            body = files[text]
            self.assertEqual(body.count(b"\n"), body.count(b"\r\n"), text + " has Windows line endings")
            self.assertNotIn(b"@", body.replace(b"\r\n", b""), text)
        self.assertIn(ARGS.version.encode(), files["INSTALL.txt"])
        self.assertIn(b"Filter > Kestravon > Glimmora...", files["INSTALL.txt"])

    def test_gegl_bundle_installs_where_gegl_finds_it(self):
        path = os.path.join(self.dist, self.name + "-gegl-linux-x86_64.tar.gz")
        header = read(path)[:10]
        self.assertEqual((header[3] & 0x08, header[4:8]), (0, b"\0\0\0\0"), "gzip stores a name or a time")
        unpacked = os.path.join(self.work, "gegl-bundle")
        shutil.rmtree(unpacked, ignore_errors=True)
        with tarfile.open(path) as t:
            members = t.getmembers()
            self.assertEqual([m.name for m in members], sorted(m.name for m in members))
            for m in members:
                self.assertEqual((m.uid, m.gid, m.mtime), (0, 0, self.epoch), m.name)
            t.extractall(unpacked)
        folder = os.path.join(unpacked, self.name + "-gegl-linux-x86_64")
        self.assertEqual(sorted(os.listdir(folder)), ["LICENSE", "README.txt", "glimmora-spokes.so", "install.sh"])
        self.assertEqual(read(os.path.join(folder, "glimmora-spokes.so")), read(ARGS.gegl_module))

        # install.sh puts it where GEGL looks without GEGL_PATH, and the gegl
        # tool then gives the pixels of the module the GEGL tier tested.
        env = dict(os.environ, XDG_DATA_HOME=os.path.join(self.work, "data"), XDG_CACHE_HOME=os.path.join(
            self.work, "cache"))
        env.pop("GEGL_PATH", None)
        shutil.rmtree(env["XDG_DATA_HOME"], ignore_errors=True)
        installer = [os.path.join(folder, "install.sh")]
        done = subprocess.run(installer, env=env, capture_output=True, text=True, check=True).stdout
        installed = os.path.join(env["XDG_DATA_HOME"], "gegl-0.4", "plug-ins", "glimmora-spokes.so")
        self.assertIn("installed " + installed, done)
        source = os.path.join(self.work, "in.png")
        write_png(source, 60, 40, 3, bytes((x * 7 + y * 3 + c * 90) & 255 for y in range(40) for x in range(60)
                                            for c in range(3)))
        outputs = []
        for where, extra in (("user", {}), ("tested", {"GEGL_PATH": os.path.dirname(ARGS.gegl_module) + os.pathsep
                                                        + ARGS.system_ops})):
            out = os.path.join(self.work, where + ".png")
            subprocess.run(["gegl", source, "-o", out, "--", "glimmora:spokes", "spokes=12", "angle=15"],
                           env=dict(env, **extra), capture_output=True, check=True, timeout=120)
            outputs.append(read(out))
        self.assertEqual(outputs[0], outputs[1])
        done = subprocess.run(installer + ["--uninstall"], env=env, capture_output=True, text=True, check=True).stdout
        self.assertIn("removed " + installed, done)
        self.assertFalse(os.path.exists(installed))

    def test_a_dirty_tree_is_refused_in_one_line(self):
        clone = os.path.join(self.work, "clone")
        shutil.rmtree(clone, ignore_errors=True)
        subprocess.run(["git", "clone", "-q", "--no-hardlinks", ARGS.root, clone], check=True)
        with open(os.path.join(clone, "README.md"), "a") as f:
            f.write("\nan edit\n")
        run = subprocess.run([os.path.join(clone, "tools", "release.sh"), "--no-setup"], capture_output=True,
                             text=True, timeout=60)
        self.assertNotEqual(run.returncode, 0)
        self.assertEqual(run.stderr.count("\n"), 1, run.stderr)
        self.assertIn("uncommitted changes", run.stderr)
        self.assertFalse(os.path.exists(os.path.join(clone, "dist")))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--root", "--work", "--plugin32", "--plugin64", "--gegl-module", "--system-ops", "--version"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    os.makedirs(ARGS.work, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

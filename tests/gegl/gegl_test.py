#!/usr/bin/env python3
"""The GEGL operation glimmora:spokes run by the `gegl` tool, and held to the
real plug-in's bytes.

    gegl_test.py --module-dir DIR --system-ops DIR --work DIR
                 [--env ENV --state STATE --reference-host EXE --plugin 8BF --probe EXE] GROUP...

Groups:
  Tool          graph runs with the gegl tool: loading from GEGL_PATH and from
                the user's plug-in folder, properties and their defaults, alpha
  SameAsPlugin  the operation's output against the 64-bit plug-in run by the
                test host (reference-host.exe, tests/cli) under Wine, in
                the Wine tier's prefix, at its 96 DPI: RGB and gray, several
                value sets, centres, image sizes and view sizes
  ViewSizes     the plug-in under Wine at other DPIs (a prefix of its own with
                another LogPixels), where its dialog's big view measures other
                sizes; the operation given those sizes gives the same bytes
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import unittest
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "cli"))
sys.dont_write_bytecode = True  # nothing written into the source tree
from cli_test import write_png  # noqa: E402  (8-bit PNG files)

ARGS = None
CHANNELS = {0: 1, 2: 3, 4: 2, 6: 4}


def read_png(path):
    """(width, height, channels, 8-bit pixels) of a non-interlaced PNG of 8 or
    16 bits per channel.  The gegl tool writes 16 bits; the 8-bit values it
    came from must come back exactly (v * 257), or the file is refused."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    at, idat = 8, []
    while at < len(data):
        (n,) = struct.unpack(">I", data[at:at + 4])
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + n]
        at += 12 + n
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth in (8, 16) and body[12] == 0, "8 or 16 bits, non-interlaced only"
        elif kind == b"IDAT":
            idat.append(body)
    channels = CHANNELS[colour]
    step = channels * depth // 8
    stride = width * step
    raw = zlib.decompress(b"".join(idat))
    rows, previous = [], bytes(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if kind == 1:
            for x in range(step, stride):
                line[x] = (line[x] + line[x - step]) & 255
        elif kind == 2:
            line = bytearray((a + b) & 255 for a, b in zip(line, previous))
        elif kind == 3:
            for x in range(stride):
                left = line[x - step] if x >= step else 0
                line[x] = (line[x] + ((left + previous[x]) >> 1)) & 255
        elif kind == 4:
            for x in range(stride):
                a = line[x - step] if x >= step else 0
                b = previous[x]
                c = previous[x - step] if x >= step else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        previous = line
    pixels = b"".join(rows)
    if depth == 16:
        high, low = pixels[0::2], pixels[1::2]
        assert high == low, "%s: 16-bit values that no 8-bit value gives" % path
        pixels = high
    return width, height, channels, pixels

# What the dialog's big view measures at 96 DPI, the operation's default.
DEFAULT_VIEW = (311, 289)


def pattern(width, height, channels, seed=0):
    return bytes((x * 5 + y * 3 + c * 70 + (x * y + seed) % 11) & 255
                 for y in range(height) for x in range(width) for c in range(channels))


def channel(pixels, channels, keep):
    """The first `keep` channels of every pixel."""
    if keep == channels:
        return bytes(pixels)
    out = bytearray()
    for i in range(0, len(pixels), channels):
        out += pixels[i:i + keep]
    return bytes(out)


def first_difference(a, b):
    """None when two read_png results are equal, else where they differ."""
    if a[:3] != b[:3]:
        return "shapes %s and %s" % (a[:3], b[:3])
    for i, (x, y) in enumerate(zip(a[3], b[3])):
        if x != y:
            pixel = i // a[2]
            return "pixel %d,%d channel %d: %d and %d" % (pixel % a[0], pixel // a[0], i % a[2], x, y)
    return None


class GeglTest(unittest.TestCase):
    def assertSamePixels(self, a, b, what=""):
        self.assertIsNone(first_difference(a, b), what)

    def assertOtherPixels(self, a, b, what=""):
        self.assertIsNotNone(first_difference(a, b), what or "the same pixels")

    def setUp(self):
        self.dir = os.path.join(ARGS.work, type(self).__name__ + "." + self._testMethodName)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def image(self, name, width, height, channels, seed=0):
        write_png(self.path(name), width, height, channels, pattern(width, height, channels, seed))
        return self.path(name)

    def gegl_env(self, **extra):
        env = dict(os.environ)
        env["GEGL_PATH"] = ARGS.module_dir + os.pathsep + ARGS.system_ops
        # GEGL keeps its swap under the cache folder: one of the test's own.
        env["XDG_CACHE_HOME"] = self.path("cache")
        env.update(extra)
        return env

    def gegl(self, args, env=None):
        run = subprocess.run(["gegl"] + [str(a) for a in args], env=env or self.gegl_env(),
                             stdin=subprocess.DEVNULL, capture_output=True, text=True, errors="replace",
                             timeout=120)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        return run.stdout + run.stderr

    def spokes(self, source, out, *properties, env=None):
        """gegl SOURCE -o OUT -- glimmora:spokes PROPERTIES; the output PNG."""
        text = self.gegl([source, "-o", self.path(out), "--", "glimmora:spokes"] + list(properties), env)
        self.assertNotIn("WARNING", text.upper())
        return read_png(self.path(out))


class Tool(GeglTest):
    def test_graph_run_paints_rgb_and_keeps_alpha(self):
        source = self.image("in.png", 120, 90, 4)
        width, height, channels, pixels = self.spokes(source, "out.png", "spokes=12", "angle=15", "radius=20",
                                                      "length=60", "thickness=25", "intensity=80")
        self.assertEqual((width, height, channels), (120, 90, 4))
        original = pattern(120, 90, 4)
        self.assertTrue(pixels != original, "nothing painted")
        self.assertTrue(pixels[3::4] == original[3::4], "alpha changed")

    def test_values_are_honoured_and_defaults_are_the_dialogs(self):
        source = self.image("in.png", 151, 93, 3)
        default = self.spokes(source, "default.png")
        spelled = self.spokes(source, "spelled.png", "spokes=8", "angle=0", "thickness=20", "intensity=50",
                              "radius=50", "length=50", "center-x=75", "center-y=46",
                              "view-width=%d" % DEFAULT_VIEW[0], "view-height=%d" % DEFAULT_VIEW[1])
        self.assertSamePixels(default, spelled)
        # 151 x 93 fills the default view's width; a low view makes the
        # height bind instead.
        for value in ("spokes=3", "angle=45", "thickness=60", "intensity=100", "radius=10", "length=90",
                      "center-x=10", "center-y=10", "view-width=120", "view-height=100"):
            with self.subTest(value=value):
                self.assertOtherPixels(self.spokes(source, "other.png", value), default)

    def test_loads_from_the_users_plug_in_folder(self):
        source = self.image("in.png", 90, 70, 3)
        through_path = self.spokes(source, "path.png", "spokes=12")
        data_home = self.path("data")
        folder = os.path.join(data_home, "gegl-0.4", "plug-ins")
        os.makedirs(folder)
        for name in os.listdir(ARGS.module_dir):
            if name.endswith(".so"):
                shutil.copy(os.path.join(ARGS.module_dir, name), folder)
        env = self.gegl_env(XDG_DATA_HOME=data_home)
        del env["GEGL_PATH"]
        self.assertSamePixels(self.spokes(source, "user.png", "spokes=12", env=env), through_path)


# --- against the plug-in -------------------------------------------------------------------


class PluginTest(GeglTest):
    """Runs the plug-in through the test host in a Wine state directory."""
    state = None

    def wine(self, name, exe, *args):
        run = subprocess.run([ARGS.env, "run", self.state, name, exe] + [str(a) for a in args],
                             stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=150)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        return run.stdout

    def plugin(self, source, out, options):
        self.wine("gegl." + self._testMethodName, ARGS.reference_host, "apply", source, self.path(out),
                  "--plugin", ARGS.plugin, "--quiet", *options)
        return read_png(self.path(out))

    def view_size(self):
        width, height, dpi = (int(v) for v in self.wine("gegl.view-size", ARGS.probe, ARGS.plugin).split())
        return width, height, dpi

    def compare(self, source, options, properties, view=None):
        """The plug-in with command-line OPTIONS against the operation with
        PROPERTIES (and the view size, when given): the same colour bytes."""
        _, _, plugin_channels, expected = self.plugin(source, "plugin.png", options)
        if view:
            properties = properties + ["view-width=%d" % view[0], "view-height=%d" % view[1]]
        _, _, op_channels, got = self.spokes(source, "op.png", *properties)
        colours = 3 if plugin_channels == 3 else 1
        self.assertEqual(op_channels, colours + 1)
        got = channel(got, op_channels, colours)
        if got != expected:
            first = next(i for i in range(len(got)) if got[i] != expected[i]) // colours
            self.fail("%s %s: pixel %d differs" % (options, properties, first))
        return expected


# Value sets as the command-line host and the operation spell them.
VALUE_SETS = [
    ([], []),
    (["--spokes", 12, "--angle", 15, "--radius", 20, "--length", 60, "--thickness", 25, "--intensity", 80],
     ["spokes=12", "angle=15", "radius=20", "length=60", "thickness=25", "intensity=80"]),
    (["--spokes", 7, "--angle", 10, "--thickness", 100, "--intensity", 100, "--radius", 0, "--length", 100],
     ["spokes=7", "angle=10", "thickness=100", "intensity=100", "radius=0", "length=100"]),
    (["--spokes", 50, "--angle", 360, "--thickness", 5, "--radius", 100, "--length", 2],
     ["spokes=50", "angle=360", "thickness=5", "radius=100", "length=2"]),
    (["--spokes", 1, "--angle", 200, "--thickness", 70, "--radius", 5, "--length", 100, "--centre", "3,150"],
     ["spokes=1", "angle=200", "thickness=70", "radius=5", "length=100", "center-x=3", "center-y=150"]),
]


class SameAsPlugin(PluginTest):
    def setUp(self):
        super().setUp()
        self.state = ARGS.state

    def test_the_default_view_is_what_the_dialog_measures_at_96_dpi(self):
        self.assertEqual(self.view_size(), DEFAULT_VIEW + (96,))

    def test_rgb_over_value_sets_and_image_sizes(self):
        # Wider and taller than the view, and smaller than it (enlarged).
        for size, sets in (((400, 170), (0, 1, 2, 3, 4)), ((150, 420), (0, 1, 4)), ((97, 61), (0, 2))):
            source = self.image("rgb-%dx%d.png" % size, size[0], size[1], 3, seed=size[0])
            for options, properties in (VALUE_SETS[i] for i in sets):
                with self.subTest(size=size, options=options):
                    self.compare(source, options, properties)

    def test_gray_over_value_sets(self):
        source = self.image("gray.png", 300, 200, 1)
        for options, properties in (VALUE_SETS[i] for i in (0, 1, 3)):
            with self.subTest(options=options):
                self.compare(source, options, properties)

    def test_a_centre_given_in_image_pixels(self):
        source = self.image("rgb.png", 300, 220, 3)
        for centre in ((0, 0), (299, 219), (37, 180)):
            self.compare(source, ["--centre", "%d,%d" % centre, "--spokes", 9],
                         ["center-x=%d" % centre[0], "center-y=%d" % centre[1], "spokes=9"])

    def test_the_view_size_matters(self):
        source = self.image("rgb.png", 300, 220, 3)
        expected = self.compare(source, [], [], view=DEFAULT_VIEW)
        _, _, _, other = self.spokes(source, "other.png", "view-width=200", "view-height=200")
        self.assertTrue(channel(other, 4, 3) != expected, "another view gave the same pixels")


# Displays at other DPIs lay the dialog out smaller or larger, so the big view
# measures other sizes (at 192 DPI beyond the 512-pixel preview limit) and
# the plug-in proportions the spokes to another preview.
OTHER_DPIS = (72, 120, 192)


class ViewSizes(PluginTest):
    @classmethod
    def setUpClass(cls):
        cls.state = os.path.join(ARGS.work, "wine-dpi")
        # The keeper holds Wine's desktop open between programs: a program
        # that starts while the desktop closes after the previous one waits
        # ten seconds for it.
        keeper = [ARGS.keeper] if ARGS.keeper else []
        run = subprocess.run([ARGS.env, "setup", cls.state, "64"] + keeper, stdin=subprocess.DEVNULL, capture_output=True,
                             text=True, timeout=170)
        if run.returncode != 0:
            cls.tearDownClass()
            raise RuntimeError("cannot set up a Wine prefix: " + run.stdout + run.stderr)

    @classmethod
    def tearDownClass(cls):
        # Stops this prefix's server and display (and nothing else).
        subprocess.run([ARGS.env, "teardown", cls.state], stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        shutil.rmtree(os.path.join(cls.state, "prefix"), ignore_errors=True)

    def set_dpi(self, dpi):
        self.wine("gegl.set-dpi", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                  "REG_DWORD", "/d", dpi, "/f")

    def test_other_dpis_give_other_views_and_the_operation_follows(self):
        rgb = self.image("rgb.png", 300, 200, 3)
        gray = self.image("gray.png", 141, 250, 1)
        seen = {DEFAULT_VIEW}
        for dpi in OTHER_DPIS:
            with self.subTest(dpi=dpi):
                self.set_dpi(dpi)
                width, height, measured_dpi = self.view_size()
                self.assertEqual(measured_dpi, dpi)
                self.assertNotIn((width, height), seen, "each DPI should give a view of its own")
                seen.add((width, height))
                expected = self.compare(rgb, [], [], view=(width, height))
                self.compare(rgb, *VALUE_SETS[1], view=(width, height))
                self.compare(gray, *VALUE_SETS[2], view=(width, height))
                # The default view would not have matched.
                _, _, _, default = self.spokes(rgb, "default.png")
                self.assertTrue(channel(default, 4, 3) != expected, "the default view gave the same pixels")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--module-dir", "--system-ops", "--work"):
        parser.add_argument(option, required=True)
    for option in ("--env", "--state", "--reference-host", "--plugin", "--probe", "--keeper"):
        parser.add_argument(option)
    ARGS, groups = parser.parse_known_args()
    ARGS.work = os.path.abspath(ARGS.work)
    os.makedirs(ARGS.work, exist_ok=True)
    loader = unittest.TestLoader()
    module = sys.modules[__name__]
    suite = unittest.TestSuite(loader.loadTestsFromName(g, module) for g in groups)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()

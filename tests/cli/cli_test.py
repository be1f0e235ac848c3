#!/usr/bin/env python3
"""Tests of the command-line host, glimmora-host.exe, run under Wine.

    cli_test.py --env tests/wine/env.sh --state STATE --host EXE --reference-host EXE
                --plugin 8BF --other-plugin 8BF --work DIR [--bits 64|32] [GROUP ...]

Each GROUP is a test class below (Options, Errors, Modes, Selection,
SameAsTestHost, Dialog, Launcher).  Programs run through the Wine test tier's
runner (env.sh run), in the prefix and display its fixture set up; only the
Launcher group starts tools/glimmora, which brings its own.  EXE and 8BF are
the host and plug-in of one build (--bits, default 64); --other-plugin is the
plug-in of the other build, which this host must refuse.  The reference host
of the same build is the same program driving the plug-in through the test
host's run (tests/cli/reference_host_win.cpp).
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import unittest
import zlib

ARGS = None
# How much longer programs may take: the 32-bit ones run emulated.
SLOWER = 1
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


# --- PNG files, small ones only --------------------------------------------------

COLOUR_TYPES = {1: 0, 2: 4, 3: 2, 4: 6}


def write_png(path, width, height, channels, pixels, depth=8):
    """pixels: one value per sample, 0-255, or 0-65535 with depth 16."""
    row = width * channels
    if depth == 16:
        rows = (struct.pack(">%dH" % row, *pixels[y * row:(y + 1) * row]) for y in range(height))
    else:
        rows = (bytes(pixels[y * row:(y + 1) * row]) for y in range(height))
    raw = b"".join(b"\0" + r for r in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, COLOUR_TYPES[channels], 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw)))
        f.write(chunk(b"IEND", b""))


def read_png(path):
    """(width, height, channels, pixels) of an 8-bit, non-interlaced PNG."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    at, idat = 8, b""
    while at < len(data):
        (n,) = struct.unpack(">I", data[at:at + 4])
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + n]
        at += 12 + n
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and body[12] == 0, "8-bit, non-interlaced only"
        elif kind == b"IDAT":
            idat += body
    channels = {v: k for k, v in COLOUR_TYPES.items()}[colour]
    raw = zlib.decompress(idat)
    stride = width * channels
    out, previous, at = bytearray(), bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b = previous[x]
            c = previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out += line
        previous = line
    return width, height, channels, bytes(out)


W, H = 64, 48


def pattern(channels):
    return bytes((x * 4 + y * 3 + c * 80 + (x * y) % 7) & 255 for y in range(H) for x in range(W) for c in range(channels))


# --- running the host ------------------------------------------------------------------


class HostTest(unittest.TestCase):
    def setUp(self):
        self.dir = os.path.join(ARGS.work, type(self).__name__ + "." + self._testMethodName)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.rgb = self.path("rgb.png")
        write_png(self.rgb, W, H, 3, pattern(3))
        self.gray = self.path("gray.png")
        write_png(self.gray, W, H, 1, pattern(1))

    def path(self, name):
        return os.path.join(self.dir, name)

    def host(self, *args, exe=None):
        """Runs the host; returns (exit code, everything it printed)."""
        name = "cli." + self._testMethodName
        run = subprocess.run([ARGS.env, "run", ARGS.state, name, exe or ARGS.host] + [str(a) for a in args],
                             stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=150 * SLOWER)
        return run.returncode, run.stdout + run.stderr

    def apply(self, *args, out="out.png", exe=None):
        code, text = self.host("apply", *args[:1], self.path(out), *args[1:], exe=exe)
        self.assertEqual(code, 0, text)
        return read_png(self.path(out))

    def same_file(self, a, b):
        return open(self.path(a), "rb").read() == open(self.path(b), "rb").read()


class Options(HostTest):
    def test_help_lists_options_and_exit_codes(self):
        code, text = self.host("--help")
        self.assertEqual(code, 0)
        for word in ("--spokes", "--centre", "--dialog", "--selection", "--mode", "--max-space", "exit codes"):
            self.assertIn(word, text)
        self.assertEqual(self.host("--version"), (0, "glimmora %s\n" % ARGS.version))

    def test_defaults_are_the_stored_defaults_and_the_middle(self):
        self.apply(self.rgb, out="default.png")
        self.apply(self.rgb, "--spokes", 8, "--angle", 0, "--thickness", 20, "--intensity", 50, "--radius", 50,
                   "--length", 50, "--centre", "32,24", out="explicit.png")
        self.assertTrue(self.same_file("default.png", "explicit.png"))

    def test_values_change_the_result(self):
        _, _, _, base = self.apply(self.rgb, out="base.png")
        for option, value in (("--spokes", 3), ("--angle", 45), ("--thickness", 60), ("--intensity", 100),
                              ("--radius", 10), ("--length", 90), ("--centre", "10,10")):
            _, _, _, other = self.apply(self.rgb, option, value, out="other.png")
            self.assertNotEqual(base, other, option)

    def test_zero_intensity_leaves_the_image(self):
        _, _, _, pixels = self.apply(self.rgb, "--intensity", 0)
        self.assertEqual(pixels, pattern(3))

    def test_params_file_is_loaded_and_options_win(self):
        with open(self.path("p.txt"), "w") as f:
            f.write("# kept values\nspokes 3\nangle 45\ncentre 20,20\n")
        self.apply(self.rgb, "--params", self.path("p.txt"), "--angle", 90, out="loaded.png")
        self.apply(self.rgb, "--spokes", 3, "--angle", 90, "--centre", "20,20", out="given.png")
        self.assertTrue(self.same_file("loaded.png", "given.png"))

    def test_jpeg_in_and_out(self):
        code, text = self.host("apply", self.rgb, self.path("out.jpg"))
        self.assertEqual(code, 0, text)
        self.assertEqual(open(self.path("out.jpg"), "rb").read()[:2], b"\xff\xd8")
        code, text = self.host("apply", self.path("out.jpg"), self.path("again.png"))
        self.assertEqual(code, 0, text)
        self.assertEqual(read_png(self.path("again.png"))[:3], (W, H, 3))


class Errors(HostTest):
    def check(self, args, code, message, out="out.png"):
        target = self.path(out)
        with open(target, "wb") as f:
            f.write(b"earlier result")
        got, text = self.host(*[a.replace("OUT", target) for a in args])
        self.assertEqual(got, code, text)
        self.assertIn(message, text)
        self.assertNotIn("\n", text.split("glimmora: error: ")[-1].strip(), "one line")
        self.assertEqual(open(target, "rb").read(), b"earlier result", "OUT untouched")
        self.assertEqual([n for n in os.listdir(self.dir) if n.endswith(".tmp")], [], "no temporary file left")

    def test_bad_command_lines(self):
        rgb = self.rgb
        for args, message in (
            (["apply", rgb, "OUT", "--spokes", "51"], "spokes must be 1-50"),
            (["apply", rgb, "OUT", "--angle", "400"], "angle must be 0-360"),
            (["apply", rgb, "OUT", "--thickness", "1"], "thickness must be 5-100"),
            (["apply", rgb, "OUT", "--intensity", "-1"], "intensity must be 0-100"),
            (["apply", rgb, "OUT", "--radius", "200"], "radius must be 0-100"),
            (["apply", rgb, "OUT", "--length", "0"], "length must be 2-100"),
            (["apply", rgb, "OUT", "--spokes", "many"], "needs a whole number"),
            (["apply", rgb, "OUT", "--centre", str(W) + ",0"], "outside the image"),
            (["apply", rgb, "OUT", "--mode", "lab"], "--mode must be rgb, gray or cmyk"),
            (["apply", rgb, "OUT", "--wobble"], "unknown option --wobble"),
            (["apply", rgb], "needs an input and an output file"),
        ):
            with self.subTest(args=args):
                self.check(args, 2, message)
        self.check(["apply", rgb, self.path("out.bmp")], 2, "name it .png, .jpg or .jpeg", out="out.bmp")

    def test_bad_inputs(self):
        with open(self.path("text.png"), "w") as f:
            f.write("no picture here")
        write_png(self.path("small-mask.png"), 10, 10, 1, bytes(100))
        with open(self.path("bad-params.txt"), "w") as f:
            f.write("spokes 99\n")
        # Only the header of a PNG wider than the interface's rectangles allow.
        ihdr = struct.pack(">IIBBBBB", 40000, 10, 8, 2, 0, 0, 0)
        with open(self.path("wide.png"), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + b"IHDR" + ihdr +
                    struct.pack(">I", zlib.crc32(b"IHDR" + ihdr) & 0xFFFFFFFF))
        for args, message in (
            (["apply", self.path("missing.png"), "OUT"], "cannot read input"),
            (["apply", self.path("text.png"), "OUT"], "not a PNG or JPEG image"),
            (["apply", self.path("wide.png"), "OUT"], "at most 32767"),
            (["apply", self.rgb, "OUT", "--selection", self.path("small-mask.png")], "is 10 x 10 pixels"),
            (["apply", self.rgb, "OUT", "--selection", self.path("missing.png")], "cannot read selection mask"),
            (["apply", self.rgb, "OUT", "--params", self.path("missing.txt")], "cannot read parameter file"),
            (["apply", self.rgb, "OUT", "--params", self.path("bad-params.txt")], "line 1: spokes 99"),
        ):
            with self.subTest(args=args):
                self.check(args, 3, message)

    def test_unusable_plug_ins(self):
        with open(self.path("fake.8bf"), "w") as f:
            f.write("MZ but nothing else")
        for plugin, message in (
            (self.path("missing.8bf"), "not found"),
            (self.path("fake.8bf"), "not a filter plug-in (not a Windows DLL)"),
            (ARGS.host, "not a filter plug-in (no PiPL resource)"),
            (ARGS.other_plugin, "has no 64-bit ('8664') entry point; this host is 64-bit" if ARGS.bits == "64"
             else "has no 32-bit ('wx86') entry point; this host is 32-bit"),
        ):
            with self.subTest(plugin=plugin):
                self.check(["apply", self.rgb, "OUT", "--plugin", plugin], 4, message)

    def test_plug_in_errors_are_named(self):
        # A budget too small for any working image: the plug-in reports -108.
        self.check(["apply", self.rgb, "OUT", "--max-space", "100"], 5, "code -108: out of memory")

    def test_unwritable_output(self):
        got, text = self.host("apply", self.rgb, self.path("no/such/dir/out.png"))
        self.assertEqual(got, 7, text)
        self.assertIn("cannot write", text)


class Modes(HostTest):
    def test_rgb_and_gray_round_trip_through_the_host(self):
        self.assertEqual(self.apply(self.rgb, out="c.png")[2], 3)
        code, text = self.host("copy", self.rgb, self.path("copy.png"))
        self.assertEqual(code, 0, text)
        self.assertEqual(read_png(self.path("copy.png")), (W, H, 3, pattern(3)))
        code, text = self.host("copy", self.gray, self.path("copy-gray.png"))
        self.assertEqual(code, 0, text)
        self.assertEqual(read_png(self.path("copy-gray.png")), (W, H, 1, pattern(1)))

    def test_gray_image_runs_in_gray_mode(self):
        width, height, channels, pixels = self.apply(self.gray, "--intensity", 100)
        self.assertEqual((width, height, channels), (W, H, 1))
        self.assertNotEqual(pixels, pattern(1))
        # The gray ramp is 0 at both ends of a spoke and 255 around its middle.
        self.assertIn(255, pixels)

    def test_rgb_image_in_gray_mode_is_converted_first(self):
        _, _, channels, pixels = self.apply(self.rgb, "--mode", "gray", "--intensity", 0)
        self.assertEqual(channels, 1)
        rgb = pattern(3)
        luma = bytes((299 * rgb[i] + 587 * rgb[i + 1] + 114 * rgb[i + 2] + 500) // 1000 for i in range(0, len(rgb), 3))
        self.assertEqual(pixels, luma)

    def test_cmyk_round_trip_is_exact_and_its_colour_rule_shows(self):
        code, text = self.host("copy", self.rgb, self.path("copy.png"), "--mode", "cmyk")
        self.assertEqual(code, 0, text)
        self.assertEqual(read_png(self.path("copy.png"))[3], pattern(3))
        _, _, _, rgb = self.apply(self.rgb, "--intensity", 100, out="rgb-mode.png")
        _, _, channels, cmyk = self.apply(self.rgb, "--mode", "cmyk", "--intensity", 100, out="cmyk-mode.png")
        self.assertEqual(channels, 3)
        self.assertNotEqual(cmyk, rgb)
        # Where no spoke lies (the corners), both leave the image as it was.
        for x, y in ((0, 0), (W - 1, 0), (0, H - 1), (W - 1, H - 1)):
            i = (y * W + x) * 3
            self.assertEqual(cmyk[i:i + 3], pattern(3)[i:i + 3])
            self.assertEqual(rgb[i:i + 3], pattern(3)[i:i + 3])

    def test_16_bit_input_is_read_as_8_bit_with_a_note(self):
        # Each 16-bit sample carries the 8-bit pattern in its high byte and
        # something else in its low byte.
        wide = [v * 256 + (v * 7 + 3) % 256 for v in pattern(3)]
        write_png(self.path("wide.png"), W, H, 3, wide, depth=16)
        code, text = self.host("apply", self.path("wide.png"), self.path("out.png"), "--intensity", 0)
        self.assertEqual(code, 0, text)
        notes = [line for line in text.splitlines() if "16 bits" in line]
        self.assertEqual(len(notes), 1, text)
        self.assertIn("the filter works in 8 bits", notes[0])
        self.assertIn("output is 8-bit", notes[0])
        self.assertEqual(read_png(self.path("out.png")), (W, H, 3, pattern(3)))
        # The same run as on the 8-bit image; --quiet leaves the note out.
        code, text = self.host("apply", self.path("wide.png"), self.path("wide-out.png"), "--quiet")
        self.assertEqual(code, 0, text)
        self.assertNotIn("16 bits", text)
        self.apply(self.rgb, out="narrow-out.png")
        self.assertTrue(self.same_file("wide-out.png", "narrow-out.png"))
        # An 8-bit image gets no note.
        code, text = self.host("apply", self.rgb, self.path("plain.png"))
        self.assertNotIn("16 bits", text)

    def test_alpha_channel_is_kept(self):
        rgba = pattern(4)
        write_png(self.path("rgba.png"), W, H, 4, rgba)
        _, _, channels, pixels = self.apply(self.path("rgba.png"))
        self.assertEqual(channels, 4)
        self.assertEqual(pixels[3::4], rgba[3::4])
        self.assertNotEqual(pixels, rgba)


class Selection(HostTest):
    def mask(self, name, value_at):
        write_png(self.path(name), W, H, 1, bytes(value_at(x, y) for y in range(H) for x in range(W)))
        return self.path(name)

    def test_mask_blends_the_result_like_a_paint_program(self):
        _, _, _, filtered = self.apply(self.rgb, "--intensity", 100, out="whole.png")
        source = pattern(3)
        values = lambda x, y: 255 if x < 20 else 0 if x >= 44 else 90
        _, _, _, blended = self.apply(self.rgb, "--intensity", 100, "--selection", self.mask("m.png", values),
                                      out="masked.png")
        for y in range(H):
            for x in range(W):
                m = values(x, y)
                for c in range(3):
                    i = (y * W + x) * 3 + c
                    d = (filtered[i] - source[i]) * m
                    expected = source[i] + ((d + 127) // 255 if d >= 0 else -((-d + 127) // 255))
                    self.assertEqual(blended[i], expected, (x, y, c))

    def test_full_and_empty_masks(self):
        self.apply(self.rgb, out="plain.png")
        self.apply(self.rgb, "--selection", self.mask("all.png", lambda x, y: 255), out="all.png")
        self.assertEqual(read_png(self.path("all.png")), read_png(self.path("plain.png")))
        _, _, _, none = self.apply(self.rgb, "--selection", self.mask("none.png", lambda x, y: 0), out="none.png")
        self.assertEqual(none, pattern(3))

    def test_floating_selection_runs(self):
        _, _, _, pixels = self.apply(self.rgb, "--floating", "--selection", self.mask("m.png", lambda x, y: 255))
        self.assertNotEqual(pixels, pattern(3))


class SameAsTestHost(HostTest):
    """This host's runs give exactly what the test host's run_filter gives."""

    def compare(self, *args):
        self.apply(*args, out="host.png")
        self.apply(*args, out="testhost.png", exe=ARGS.reference_host)
        self.assertTrue(self.same_file("host.png", "testhost.png"), args)

    def test_rgb_gray_and_cmyk(self):
        self.compare(self.rgb, "--spokes", 5, "--angle", 20, "--intensity", 80)
        self.compare(self.gray, "--thickness", 70)
        self.compare(self.rgb, "--mode", "cmyk", "--radius", 20)

    def test_selection_and_a_thinned_working_image(self):
        write_png(self.path("m.png"), W, H, 1, bytes((x * 4) & 255 for y in range(H) for x in range(W)))
        self.compare(self.rgb, "--selection", self.path("m.png"))
        # A small budget makes the plug-in load every other row and column.
        self.compare(self.rgb, "--max-space", 14000)


class Dialog(HostTest):
    def test_accepted_values_are_kept_and_repeat(self):
        params = self.path("p.txt")
        code, text = self.host("apply", self.rgb, self.path("dialog.png"), "--params", params,
                               "--dialog-test", "spokes=12,angle=30,intensity=90,ok")
        self.assertEqual(code, 0, text)
        kept = open(params).read()
        for line in ("spokes 12", "angle 30", "intensity 90", "thickness 20", "centre "):
            self.assertIn(line, kept)
        self.apply(self.rgb, "--params", params, out="repeat.png")
        self.assertTrue(self.same_file("dialog.png", "repeat.png"))

    def test_cancel_writes_nothing(self):
        params = self.path("p.txt")
        with open(params, "w") as f:
            f.write("spokes 4\n")
        code, text = self.host("apply", self.rgb, self.path("out.png"), "--params", params, "--dialog-test",
                               "spokes=20,cancel")
        self.assertEqual(code, 6, text)
        self.assertIn("cancelled in the dialog", text)
        self.assertFalse(os.path.exists(self.path("out.png")))
        self.assertEqual(open(params).read(), "spokes 4\n")


class Launcher(HostTest):
    """tools/glimmora: its own prefix and display, the host's exit code."""

    def test_runs_the_host_and_passes_its_exit_code(self):
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        env["GLIMMORA_HOST_EXE"] = ARGS.host
        env["GLIMMORA_WINEPREFIX"] = os.path.join(ARGS.work, "launcher-prefix")
        launcher = [os.path.join(ROOT, "tools", "glimmora"), "--arch", ARGS.bits]
        run = subprocess.run(launcher + ["apply", self.rgb, self.path("out.png"), "--spokes", "6"], env=env,
                             stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=170 * SLOWER)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertNotEqual(read_png(self.path("out.png"))[3], pattern(3))
        run = subprocess.run(launcher + ["apply", self.rgb, self.path("bad.png"), "--spokes", "0"], env=env,
                             stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120 * SLOWER)
        self.assertEqual(run.returncode, 2)
        self.assertIn("spokes must be 1-50", run.stderr)
        self.assertFalse(os.path.exists(self.path("bad.png")))

    def test_a_silent_end_in_wine_is_named(self):
        # A program that Wine ends with a code of none of the host's own and
        # without a word (here Wine's own cmd) gets one line from the launcher.
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        prefix = os.path.join(ARGS.work, "launcher-prefix")
        env["GLIMMORA_HOST_EXE"] = os.path.join(prefix, "drive_c", "windows", "system32", "cmd.exe")
        env["GLIMMORA_WINEPREFIX"] = prefix
        launcher = [os.path.join(ROOT, "tools", "glimmora"), "--arch", ARGS.bits]
        # The first test of the group made the prefix; make sure it exists.
        if not os.path.exists(env["GLIMMORA_HOST_EXE"]):
            self.test_runs_the_host_and_passes_its_exit_code()
        run = subprocess.run(launcher + ["/c", "exit 9"], env=env, stdin=subprocess.DEVNULL, capture_output=True,
                             text=True, timeout=120 * SLOWER)
        self.assertEqual(run.returncode, 9)
        self.assertEqual(run.stdout, "")
        self.assertEqual(run.stderr.count("\n"), 1, run.stderr)
        self.assertIn("Wine ended the host with exit code 9", run.stderr)


def main():
    global ARGS, SLOWER
    parser = argparse.ArgumentParser()
    for option in ("--env", "--state", "--host", "--reference-host", "--plugin", "--other-plugin", "--work",
                   "--version"):
        parser.add_argument(option, required=True)
    parser.add_argument("--bits", choices=("64", "32"), default="64")
    ARGS, groups = parser.parse_known_args()
    SLOWER = 4 if ARGS.bits == "32" else 1
    ARGS.work = os.path.abspath(ARGS.work)
    os.makedirs(ARGS.work, exist_ok=True)
    loader = unittest.TestLoader()
    module = sys.modules[__name__]
    suite = unittest.TestSuite(loader.loadTestsFromName(g, module) for g in groups) if groups else \
        loader.loadTestsFromModule(module)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()

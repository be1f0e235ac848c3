#!/usr/bin/env python3
"""Runs a Wine test program once and reports on it suite by suite.

    gtest_report.py run XML -- COMMAND...   run COMMAND (a test program given
                                            --gtest_output=xml:XML), print its
                                            output; succeed when it ran to the
                                            end and wrote XML, whatever its
                                            tests' results
    gtest_report.py suite XML SUITE         the results of one suite from XML:
                                            its tests, every failure message;
                                            fail unless it ran and passed
    gtest_report.py listed XML A,B,...      fail when XML has a suite outside
                                            the list (the tier would not report it)
    gtest_report.py same RECORD RECORD      compare two run records line by line

The 32-bit tier starts each test program once (a start under emulation costs
seconds) and reports each suite as a CTest entry of its own with 'suite'.
"""
import os
import subprocess
import sys
import xml.etree.ElementTree as ET


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(xml, command):
    if os.path.exists(xml):
        os.remove(xml)
    command = [a.replace("@XML@", windows_path(xml)) for a in command]
    code = subprocess.run(command, stdin=subprocess.DEVNULL).returncode
    if not os.path.exists(xml):
        print("the program ended (exit code %d) without writing its report %s" % (code, xml))
        return 1
    try:
        tests = ET.parse(xml).getroot()
    except ET.ParseError as e:
        print("the report %s is unreadable: %s" % (xml, e))
        return 1
    print("report written: %s tests in %s suites, %s failed" %
          (tests.get("tests"), len(tests.findall("testsuite")), tests.get("failures")))
    return 0


def load(xml):
    if not os.path.exists(xml):
        print("no report %s: the program's run did not complete" % xml)
        return None
    return ET.parse(xml).getroot()


def suite(xml, name):
    tests = load(xml)
    if tests is None:
        return 1
    found = [s for s in tests.findall("testsuite") if s.get("name") == name]
    if not found:
        print("test suite %s did not run" % name)
        return 1
    failed = 0
    for case in found[0].findall("testcase"):
        label = "%s.%s" % (name, case.get("name"))
        failures = case.findall("failure")
        if case.find("skipped") is not None:
            print("[ SKIPPED  ] %s" % label)
        elif failures:
            failed += 1
            print("[  FAILED  ] %s (%s ms)" % (label, round(float(case.get("time", "0")) * 1000)))
            for f in failures:
                print(f.text or f.get("message", ""))
        else:
            print("[       OK ] %s (%s ms)" % (label, round(float(case.get("time", "0")) * 1000)))
    return 1 if failed else 0


def listed(xml, names):
    tests = load(xml)
    if tests is None:
        return 1
    expected = set(n for n in names.split(",") if n)
    missing = [s.get("name") for s in tests.findall("testsuite") if s.get("name") not in expected]
    for name in missing:
        print("test suite %s is not reported by the Wine tier: add it to cmake/tests-wine.cmake" % name)
    return 1 if missing else 0


def same(a, b):
    for path in (a, b):
        if not os.path.exists(path):
            print("no record %s" % path)
            return 1
    left = open(a).read().splitlines()
    right = open(b).read().splitlines()
    runs = sum(1 for line in left if line.startswith("run "))
    if left == right:
        print("%d runs, %d lines: identical" % (runs, len(left)))
        return 0
    print("the records differ (%s / %s):" % (a, b))
    run_name, shown = "", 0
    for i in range(max(len(left), len(right))):
        x = left[i] if i < len(left) else "<end>"
        y = right[i] if i < len(right) else "<end>"
        if x.startswith("run "):
            run_name = x
        if x != y:
            print("%s, line %d:\n  - %s\n  + %s" % (run_name, i + 1, x, y))
            shown += 1
            if shown == 20:
                print("(more differences follow)")
                break
    return 1


def main(argv):
    if len(argv) >= 4 and argv[1] == "run" and argv[3] == "--":
        return run(argv[2], argv[4:])
    if len(argv) == 4 and argv[1] == "suite":
        return suite(argv[2], argv[3])
    if len(argv) == 4 and argv[1] == "listed":
        return listed(argv[2], argv[3])
    if len(argv) == 4 and argv[1] == "same":
        return same(argv[2], argv[3])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.stdout.reconfigure(line_buffering=True)
    sys.exit(main(sys.argv))

#!/usr/bin/python3
"""Checks a run of the test kit against the CTest run of the same programs.

Every test that CTest ran must be in the kit's GoogleTest XML files, and
no other, with the result CTest had; except the tests that CTest runs with
an environment setting of Wine's own (their ENVIRONMENT property), which
the kit runs without it: those must skip themselves, saying why. The kit's
closing line must add up to its XML files.

usage: check_kit_run.py CTEST_OUTPUT CTEST_JSON RESULTS_FOLDER CLOSING_LINE
  CTEST_OUTPUT    what ctest printed for the Windows GCC build
  CTEST_JSON      ctest --show-only=json-v1 for the same build
  RESULTS_FOLDER  the kit's results folder
  CLOSING_LINE    the kit's last line, "N passed, M failed, K skipped"
"""
import glob
import json
import os
import re
import sys
import xml.etree.ElementTree as ElementTree

RESULTS = ("passed", "failed", "skipped")


def CtestResults(path):
    results = {}
    line = re.compile(r"Test +#\d+: (\S+) \.*\s*(?:\*\*\*)?(\w+)")
    with open(path, encoding="utf-8", errors="replace") as output:
        for text in output:
            match = line.search(text)
            if match:
                word = match.group(2).lower()
                results[match.group(1)] = word if word in ("passed", "skipped") else "failed"
    return results


def WineOnlyTests(path):
    with open(path, encoding="utf-8") as source:
        tests = json.load(source)["tests"]
    settings = {}
    for test in tests:
        for prop in test.get("properties", []):
            if prop["name"] == "ENVIRONMENT":
                settings[test["name"]] = " ".join(prop["value"])
    return settings


def KitResults(folder):
    results = {}
    for path in sorted(glob.glob(os.path.join(folder, "*.xml"))):
        for case in ElementTree.parse(path).iter("testcase"):
            name = case.get("classname") + "." + case.get("name")
            if case.find("failure") is not None:
                results[name] = "failed"
            elif case.get("result") == "skipped" or case.find("skipped") is not None:
                results[name] = "skipped"
            elif case.get("status") == "run":
                results[name] = "passed"
            else:
                results[name] = "not run"
    return results


def Counts(results):
    return tuple(sum(1 for r in results.values() if r == kind) for kind in RESULTS)


def Line(counts):
    return "%d passed, %d failed, %d skipped" % counts


def main(args):
    if len(args) != 4:
        sys.stderr.write(__doc__)
        return 2
    ctest = CtestResults(args[0])
    wineOnly = WineOnlyTests(args[1])
    kit = KitResults(args[2])
    closing = args[3].strip()
    problems = []
    if not ctest:
        problems.append("no test results in " + args[0])
    for name in sorted(set(ctest) | set(kit)):
        if name not in kit:
            problems.append("%s: run by CTest, not by the kit" % name)
        elif name not in ctest:
            problems.append("%s: run by the kit, not by CTest" % name)
        else:
            expected = "skipped" if name in wineOnly else ctest[name]
            if kit[name] != expected:
                problems.append("%s: %s in the kit, %s expected (CTest: %s)" % (name, kit[name], expected,
                                                                                 ctest[name]))
    if closing != Line(Counts(kit)):
        problems.append('closing line "%s", but the XML files add up to "%s"' % (closing, Line(Counts(kit))))

    print("CTest:                        " + Line(Counts(ctest)))
    others = {name: result for name, result in ctest.items() if name not in wineOnly}
    print("CTest, less the %d tests below: %s" % (len(wineOnly), Line(Counts(others))))
    print("kit:                          " + Line(Counts(kit)) + "  (closing line: " + closing + ")")
    for name in sorted(wineOnly):
        print("  %s: CTest sets %s; the kit %s" % (name, wineOnly[name], kit.get(name, "did not run it")))
    for problem in problems:
        print("FAIL " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

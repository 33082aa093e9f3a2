#!/usr/bin/python3
"""Checks one run of the test kit against the CTest run of the same programs.

For every program the kit was asked to run, each test that CTest ran must
be in the kit's XML files, and no other, with the result CTest had; except
the tests that CTest runs with an environment setting of Wine's own (their
ENVIRONMENT property), which the kit runs without it: those must skip
themselves. A program removed from the kit must be named as missing and
count as one failure. The closing lines must add up: "N passed, M failed,
K skipped" to the XML files, and "expected: T tests in P programs" to
CTest's count for those programs. The exit code must say whether anything
failed, and every program must say it ran under the expected ANSI code page.

usage: check_kit_run.py CTEST_JUNIT CTEST_JSON KIT_FOLDER EXIT_CODE CODE_PAGE [--missing PROGRAM] [PROGRAM ...]
  CTEST_JUNIT   ctest --output-junit for the Windows build the kit comes from
  CTEST_JSON    ctest --show-only=json-v1 for the same build
  KIT_FOLDER    where the kit was unpacked and run (its results folder is read)
  EXIT_CODE     what run-tests.cmd ended with
  CODE_PAGE     the ANSI code page the run was meant to have
  PROGRAM       the programs named to run-tests.cmd (all, when none)
"""
import glob
import json
import os
import sys
import xml.etree.ElementTree as ElementTree

RESULTS = ("passed", "failed", "skipped")


def CtestResults(path):
    """Each test's result, as CTest's JUnit file gives it."""
    results = {}
    for case in ElementTree.parse(path).iter("testcase"):
        skipped = case.find("skipped") is not None
        results[case.get("name")] = "skipped" if skipped else "passed" if case.get("status") == "run" else "failed"
    return results


def CtestTests(path):
    """Each test's program and, for those that have one, its ENVIRONMENT."""
    with open(path, encoding="utf-8") as source:
        tests = json.load(source)["tests"]
    programs, settings = {}, {}
    for test in tests:
        # The command is the emulator (Wine) and its prefix, then the program.
        exes = [arg for arg in test.get("command", []) if arg.endswith(".exe")]
        programs[test["name"]] = os.path.basename(exes[0])[:-4] if exes else "?"
        for prop in test.get("properties", []):
            if prop["name"] == "ENVIRONMENT":
                settings[test["name"]] = " ".join(prop["value"])
    return programs, settings


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
    missing = []
    while "--missing" in args:
        at = args.index("--missing")
        missing.append(args[at + 1])
        del args[at:at + 2]
    if len(args) < 5:
        sys.stderr.write(__doc__)
        return 2
    ctest = CtestResults(args[0])
    program_of, wine_only = CtestTests(args[1])
    kit_folder, exit_code, code_page, named = args[2], int(args[3]), args[4], args[5:]
    results = os.path.join(kit_folder, "results")
    with open(os.path.join(kit_folder, "tests", "programs.txt"), encoding="utf-8") as listing:
        listed = dict(line.split()[:2] for line in listing if line.strip())
    programs = named or sorted(listed)
    problems = []
    if not ctest:
        problems.append("no test results in " + args[0])
    expected_ctest = {name: result for name, result in ctest.items() if program_of.get(name) in programs}
    kit = KitResults(results)
    ran = {name: result for name, result in expected_ctest.items() if program_of[name] not in missing}
    for name in sorted(set(ran) | set(kit)):
        if name not in kit:
            problems.append("%s: run by CTest, not by the kit" % name)
        elif name not in ran:
            problems.append("%s: run by the kit, not by CTest" % name)
        else:
            want = "skipped" if name in wine_only else ran[name]
            if kit[name] != want:
                problems.append("%s: %s in the kit, %s expected (CTest: %s)" % (name, kit[name], want, ran[name]))

    with open(os.path.join(results, "summary.txt"), encoding="ascii", errors="replace") as source:
        summary = [line.rstrip("\r\n") for line in source]
    for program in missing:
        if not any(line.startswith(program + ": 0 passed, 1 failed, 0 skipped - ") and "is missing" in line
                   for line in summary):
            problems.append("%s was removed, and the kit did not name it as missing" % program)
    passed, failed, skipped = Counts(kit)
    closing = Line((passed, failed + len(missing), skipped))
    if closing not in summary:
        problems.append('no closing line "%s" in the summary' % closing)
    total = sum(int(listed[p]) for p in programs)
    ctest_total = len(expected_ctest)
    expected_line = "expected: %d tests in %d programs" % (total, len(programs))
    if total != ctest_total:
        problems.append("tests/programs.txt expects %d tests of %s, CTest ran %d" % (total, " ".join(programs),
                                                                                  ctest_total))
    if expected_line not in summary:
        problems.append('no line "%s" in the summary' % expected_line)
    should_fail = failed + len(missing) > 0 or passed + failed + skipped + len(missing) != total
    if (exit_code != 0) != should_fail:
        problems.append("run-tests.cmd ended with %d" % exit_code)
    for program in programs:
        if program in missing:
            continue
        output = os.path.join(results, program + ".txt")
        with open(output, encoding="utf-8", errors="replace") as source:
            if "code pages: ANSI %s," % code_page not in source.read():
                problems.append("%s did not run under code page %s" % (program, code_page))

    print("CTest:  " + Line(Counts(expected_ctest)) + " in " + " ".join(programs))
    print("kit:    " + Line(Counts(kit)) + (", and %d program(s) missing: %s" % (len(missing), " ".join(missing))
                                            if missing else "") + "; exit code %d" % exit_code)
    print("closing lines: " + " / ".join(line for line in summary[-3:] if line.strip()))
    for name in sorted(set(wine_only) & set(ran)):
        print("  %s: CTest sets %s; the kit %s" % (name, wine_only[name], kit.get(name, "did not run it")))
    for problem in problems:
        print("FAIL " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

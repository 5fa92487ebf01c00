#!/usr/bin/env python3
"""Reads what one ctest run wrote with --output-junit FILE, for the summary of scripts/run-tests.sh.

    ctest-outcomes.py FILE

prints one line per test that did not pass, its outcome and its name, and for a skipped test its reason: the first
line of its output that mentions skipping, without a leading "Skipped: " ("no reason given" when there is none):

    skipped<TAB>NAME<TAB>REASON
    failed<TAB>NAME

A skip is a test that asked for it (its skip status or output); a test that did not run for any other reason (a
failed fixture, a missing program) failed. Disabled tests are not listed. A missing or unreadable FILE is no
tests at all.
"""

import sys
import xml.etree.ElementTree as ET


def outcomes(path):
    try:
        cases = ET.parse(path).getroot().iter("testcase")
    except (OSError, ET.ParseError):
        return
    for case in cases:
        name, skipped = case.get("name"), case.find("skipped")
        if skipped is not None and skipped.get("message", "").startswith("SKIP_"):
            output = (case.findtext("system-out") or "").splitlines()
            reason = next((line for line in output if "skipp" in line.lower()), "no reason given")
            yield f"skipped\t{name}\t{reason.removeprefix('Skipped: ')}"
        elif case.get("status") == "fail" or skipped is not None:
            yield f"failed\t{name}"


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for line in outcomes(sys.argv[1]):
        print(line)

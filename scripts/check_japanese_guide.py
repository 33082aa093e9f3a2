#!/usr/bin/python3
"""Checks the Japanese user guide's wording.

Fails on:
- words the guide must not use: terms that are not Microsoft's Japanese ones
  (Microsoft writes タイマー解像度 and 電源調整), and "raising the period",
  which says the opposite of what a finer timer is;
- a line break between two Japanese characters inside a paragraph or a
  list item: Markdown renders it as a space, even inside a quoted label;
- italics, which Japanese text does not use for emphasis.

usage: check_japanese_guide.py GUIDE_MD
"""
import re
import sys

FORBIDDEN = ("タイマー分解能", "電力スロットリング", "周期を上げ")
# Lines that start a block of their own rather than continue a paragraph.
BLOCK_START = re.compile(r"\s*(#|[-*+] |\d+\. |\||>|!\[|```)")
ITALIC = re.compile(r"(?<![*\w])[*_](?![*_\s])[^*_`]+(?<![*_\s])[*_](?![*\w])")


def IsJapanese(c):
    code = ord(c)
    return (0x3000 <= code <= 0x30FF or 0x3400 <= code <= 0x4DBF or 0x4E00 <= code <= 0x9FFF or
            0xF900 <= code <= 0xFAFF or 0xFF00 <= code <= 0xFFEF)


def Problems(text):
    problems = []
    lines = text.splitlines()
    fenced = False
    for number, line in enumerate(lines, 1):
        if line.startswith("```"):
            fenced = not fenced
            continue
        if fenced:
            continue
        for word in FORBIDDEN:
            if word in line:
                problems.append("line %d uses %s" % (number, word))
        prose = re.sub(r"`[^`]*`", "", line)
        if ITALIC.search(prose):
            problems.append("line %d has italics: %s" % (number, ITALIC.search(prose).group(0)))
        following = lines[number] if number < len(lines) else ""
        if (line.strip() and following.strip() and not BLOCK_START.match(following) and
                IsJapanese(line.rstrip()[-1]) and IsJapanese(following.strip()[0])):
            problems.append("line %d breaks a paragraph between two Japanese characters (%s|%s)" %
                            (number, line.rstrip()[-1], following.strip()[0]))
    return problems


def main(args):
    if len(args) != 1:
        sys.stderr.write(__doc__)
        return 2
    with open(args[0], encoding="utf-8") as source:
        problems = Problems(source.read())
    for problem in problems:
        print("FAIL %s: %s" % (args[0], problem))
    if not problems:
        print("%s: Microsoft's terms, no hard-wrapped Japanese, no italics" % args[0])
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/python3
"""Checks the Japanese user guide's wording, and the archive's read-me.

Fails, in the guide, on:
- words the guide must not use: terms that are not Microsoft's Japanese ones
  (Microsoft writes タイマー解像度 and 電源調整), and "raising the period",
  which says the opposite of what a finer timer is;
- sentences that once said something other than the English: the QoS one
  with や ("or": any visible but silent program would get "Low", where the
  page means not visible and not audible), and the imports one saying
  読み込む (the process loads many more DLLs than the exe imports);
- full-width parentheses: the guide uses half-width ones, as Microsoft's
  ja-jp pages do;
- a line break between two Japanese characters inside a paragraph or a
  list item: Markdown renders it as a space, even inside a quoted label;
- italics, which Japanese text does not use for emphasis.

Fails, in a README.txt (scripts/make_readme.py checks each one it writes),
on:
- a line wider than LIMIT display columns (a full-width character counts
  two), but for an address at its end, which cannot be wrapped: Windows 10's
  Notepad opens with word wrap off;
- a line that begins with closing punctuation (、。）」 and the like) or a
  small kana or ー, or ends with opening punctuation (「（ and the like):
  Japanese is never broken there;
- <バージョン> left where the version belongs.

usage: check_japanese_guide.py GUIDE_MD [README_TXT]
"""
import re
import sys
import unicodedata

FORBIDDEN = ("タイマー分解能", "電力スロットリング", "周期を上げ", "（", "）")
MEANINGS = (
    (re.compile(r"見えない[^。]*や[^。]*音"), "the QoS sentence with や: the page means not visible and not audible"),
    (re.compile(r"(起動|読み込み)時に読み込む DLL"), "the imports sentence says 読み込む: the exe imports these, "
                                             "and the process loads many more"),
)
# Lines that start a block of their own rather than continue a paragraph.
BLOCK_START = re.compile(r"\s*(#|[-*+] |\d+\. |\||>|!\[|```)")
ITALIC = re.compile(r"(?<![*\w])[*_](?![*_\s])[^*_`]+(?<![*_\s])[*_](?![*\w])")

LIMIT = 70
NO_LINE_START = "、。，．）」』】〕〉》ーぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ？！：；)]},.:;?!"
NO_LINE_END = "「『（【〔〈《([{"
ADDRESS = re.compile(r"https?://\S+$")


def IsJapanese(c):
    code = ord(c)
    return (0x3000 <= code <= 0x30FF or 0x3400 <= code <= 0x4DBF or 0x4E00 <= code <= 0x9FFF or
            0xF900 <= code <= 0xFAFF or 0xFF00 <= code <= 0xFFEF)


def Width(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


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
        for pattern, why in MEANINGS:
            if pattern.search(line):
                problems.append("line %d has %s" % (number, why))
        prose = re.sub(r"`[^`]*`", "", line)
        if ITALIC.search(prose):
            problems.append("line %d has italics: %s" % (number, ITALIC.search(prose).group(0)))
        following = lines[number] if number < len(lines) else ""
        if (line.strip() and following.strip() and not BLOCK_START.match(following) and
                IsJapanese(line.rstrip()[-1]) and IsJapanese(following.strip()[0])):
            problems.append("line %d breaks a paragraph between two Japanese characters (%s|%s)" %
                            (number, line.rstrip()[-1], following.strip()[0]))
    return problems


def TextProblems(text):
    problems = []
    for number, line in enumerate(text.splitlines(), 1):
        words = ADDRESS.sub("", line).rstrip()
        if Width(words) > LIMIT:
            problems.append("README.txt line %d is %d columns wide, over %d" % (number, Width(words), LIMIT))
        stripped = line.strip()
        if stripped and stripped[0] in NO_LINE_START:
            problems.append("README.txt line %d begins with %s" % (number, stripped[0]))
        if stripped and stripped[-1] in NO_LINE_END:
            problems.append("README.txt line %d ends with %s" % (number, stripped[-1]))
        if "<バージョン>" in line:
            problems.append("README.txt line %d has <バージョン> where the version belongs" % number)
    return problems


def main(args):
    if len(args) not in (1, 2):
        sys.stderr.write(__doc__)
        return 2
    with open(args[0], encoding="utf-8") as source:
        problems = Problems(source.read())
    if len(args) == 2:
        with open(args[1], encoding="utf-8-sig") as source:
            problems += TextProblems(source.read())
    for problem in problems:
        print("FAIL %s" % problem)
    if not problems:
        print("%s: Microsoft's terms, the meaning fixed, half-width parentheses, no hard-wrapped Japanese, no "
              "italics%s" % (args[0], "; %s fits Notepad" % args[1] if len(args) == 2 else ""))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

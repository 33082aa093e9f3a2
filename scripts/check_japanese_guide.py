#!/usr/bin/python3
"""Checks the Japanese user guide (docs/README.ja.md):

1. textlint, with .textlintrc.yml: the technical-writing and JTF presets
   and Microsoft's Japanese terms (docs/microsoft-terms.yml). textlint is
   installed from package-lock.json (npm ci) when node_modules is missing
   or older than the lock file.
2. Alignment with the English README's user sections, from its title to
   the section before "## Building and testing". The sections are paired
   in order, with their heading levels (the guide ends with a licence
   section of its own: the README says the licence in its last line).
   Each pair must cite the same Microsoft pages, the guide at the ja-jp
   address of each, and carry the same number of "documented" marks
   (記載 in the guide) and of "observed" ones (観察). The guide keeps
   those two words for its marks. Where the sections differ, the two are
   also compared as a whole.
3. Layout: no line break between two Japanese characters inside a
   paragraph or a list item (Markdown renders it as a space), and no
   italics, which Japanese text does not use for emphasis.

usage: check_japanese_guide.py GUIDE_MD README_MD
"""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
USER_SECTIONS_END = "## Building and testing"
GUIDE_ONLY = ("ライセンス",)
HEADING = re.compile(r"(#{1,3}) (.*)")
MICROSOFT = re.compile(r"\]\((https://learn\.microsoft\.com/[^)\s]+)\)")
LOCALE = re.compile(r"^https://learn\.microsoft\.com/(?:([a-z]{2}-[a-z]{2})/)?(.*)$")
# Lines that start a block of their own rather than continue a paragraph.
BLOCK_START = re.compile(r"\s*(#|[-*+] |\d+\. |\||>|!\[|```)")
ITALIC = re.compile(r"(?<![*\w])[*_](?![*_\s])[^*_`]+(?<![*_\s])[*_](?![*\w])")
MARKS = (("documented", re.compile(r"\bdocumented\b", re.I), "記載"),
         ("observed", re.compile(r"\bobserved\b", re.I), "観察"))


def Sections(markdown, end=None):
    """(level, title, text) for each heading and what follows it, up to
    the heading `end`; code blocks and code spans left out of the text."""
    sections, fenced = [], False
    for line in markdown.splitlines():
        if line.startswith("```"):
            fenced = not fenced
            continue
        if fenced:
            continue
        if end and line.strip() == end:
            break
        heading = HEADING.fullmatch(line)
        if heading:
            sections.append([len(heading.group(1)), heading.group(2), ""])
        elif sections:
            sections[-1][2] += re.sub(r"`[^`]*`", "", line) + "\n"
    return sections


def Pages(text, problems, where):
    """The Microsoft pages a section links to, by their address without
    the locale."""
    pages = set()
    for address in MICROSOFT.findall(text):
        locale, path = LOCALE.match(address).groups()
        if where and locale != "ja-jp":
            problems.append("%s links to %s, not to its ja-jp page" % (where, address))
        pages.add(path)
    return pages


def Alignment(guide, readme):
    problems = []
    english = Sections(readme, USER_SECTIONS_END)
    japanese = Sections(guide)
    while japanese and japanese[-1][1] in GUIDE_ONLY:
        if MICROSOFT.search(japanese[-1][2]) or any(word in japanese[-1][2] for _, _, word in MARKS):
            problems.append("guide section %s cites Windows, which the README's user part does not" %
                            japanese[-1][1])
        japanese.pop()
    if [s[0] for s in english] != [s[0] for s in japanese]:
        problems.append("the sections differ: README %s, guide %s" % (
            ", ".join("%s %s" % ("#" * s[0], s[1]) for s in english),
            ", ".join("%s %s" % ("#" * s[0], s[1]) for s in japanese)))
        # Then what the two say as a whole.
        english = [(1, "the user sections", "".join(s[2] for s in english))]
        japanese = [(1, "the whole guide", "".join(s[2] for s in japanese))]
    for (_, title, text), (_, japaneseTitle, japaneseText) in zip(english, japanese):
        where = "guide section %s (README: %s)" % (japaneseTitle, title) if len(english) > 1 else "the guide"
        cited, citedHere = Pages(text, problems, None), Pages(japaneseText, problems, where)
        for page in sorted(cited - citedHere):
            problems.append("%s does not cite %s" % (where, page))
        for page in sorted(citedHere - cited):
            problems.append("%s cites %s, which the README does not" % (where, page))
        for name, pattern, word in MARKS:
            count, countHere = len(pattern.findall(text)), japaneseText.count(word)
            if count != countHere:
                problems.append("%s has %d %s marks (%s), the README %d" % (where, countHere, name, word, count))
    return problems


def IsJapanese(c):
    code = ord(c)
    return (0x3000 <= code <= 0x30FF or 0x3400 <= code <= 0x4DBF or 0x4E00 <= code <= 0x9FFF or
            0xF900 <= code <= 0xFAFF or 0xFF00 <= code <= 0xFFEF)


def Layout(guide):
    problems, fenced = [], False
    lines = guide.splitlines()
    for number, line in enumerate(lines, 1):
        if line.startswith("```"):
            fenced = not fenced
        if fenced or line.startswith("```"):
            continue
        italic = ITALIC.search(re.sub(r"`[^`]*`", "", line))
        if italic:
            problems.append("guide line %d has italics: %s" % (number, italic.group(0)))
        following = lines[number] if number < len(lines) else ""
        if (line.strip() and following.strip() and not BLOCK_START.match(following) and
                IsJapanese(line.rstrip()[-1]) and IsJapanese(following.strip()[0])):
            problems.append("guide line %d breaks a paragraph between two Japanese characters" % number)
    return problems


def Textlint(guide):
    modules = os.path.join(ROOT, "node_modules")
    installed = os.path.join(modules, ".package-lock.json")
    lock = os.path.join(ROOT, "package-lock.json")
    if not os.path.exists(installed) or os.path.getmtime(installed) < os.path.getmtime(lock):
        subprocess.run(["npm", "ci", "--no-audit", "--no-fund", "--loglevel=error"], cwd=ROOT, check=True)
    textlint = os.path.join(modules, ".bin", "textlint")
    return subprocess.run([textlint, "--config", os.path.join(ROOT, ".textlintrc.yml"), guide]).returncode == 0


def main(args):
    if len(args) != 2:
        sys.stderr.write(__doc__)
        return 2
    guide, readme = args
    linted = Textlint(os.path.abspath(guide))
    with open(guide, encoding="utf-8") as source, open(readme, encoding="utf-8") as english:
        text = source.read()
        problems = Alignment(text, english.read()) + Layout(text)
    for problem in problems:
        print("FAIL %s" % problem)
    if not linted:
        print("FAIL textlint found problems in %s (above)" % guide)
    if linted and not problems:
        print("%s: textlint clean; no hard-wrapped Japanese, no italics; section by section the README's Microsoft "
              "pages (ja-jp) and its documented and observed marks" % guide)
    return 0 if linted and not problems else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/python3
"""Writes the release archive's README.txt: the Japanese user guide
(docs/README.ja.md) as plain text for Notepad, with the version, followed
by the English part. make_zip.py then gives it CRLF line ends and a UTF-8
byte-order mark.

Markdown becomes plain text: headings get a mark, list items a bullet,
tables a line per row, code blocks an indent; emphasis and code marks go,
pictures go, and a link keeps its text. A link to a file other than the
licence (LICENSE.txt in the archive) fails the script: the archive holds
nothing else to point to.

usage: make_readme.py GUIDE_MD ENGLISH_TXT VERSION OUTPUT
"""
import re
import sys
import unicodedata

IN_ARCHIVE = {"../LICENSE": "LICENSE.txt", "LICENSE": "LICENSE.txt"}


def Width(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def Inline(text, problems):
    def Link(match):
        label, target = match.group(1), match.group(2)
        if re.match(r"https?://", target):
            return "%s (%s)" % (label, target)
        if target.startswith("#"):
            return label
        if target in IN_ARCHIVE:
            return label if label == IN_ARCHIVE[target] else "%s (%s)" % (label, IN_ARCHIVE[target])
        problems.append("a link to %s, which the archive does not hold" % target)
        return label

    text = re.sub(r"!\[[^\]]*\]\([^)]*\)", "", text)
    text = re.sub(r"\[([^\]]+)\]\(([^)]+)\)", Link, text)
    text = re.sub(r"\*\*([^*]+)\*\*", r"\1", text)
    text = re.sub(r"`([^`]+)`", r"\1", text)
    return text.strip()


def Convert(markdown, problems):
    out = []
    fenced = False
    table = False
    for line in markdown.splitlines():
        stripped = line.strip()
        if not stripped.startswith("|"):
            table = False
        if line.startswith("```"):
            fenced = not fenced
            continue
        if fenced:
            out.append("    " + line)
            continue
        if re.fullmatch(r"\|[\s:|-]+\|", stripped):
            continue
        heading = re.match(r"(#+) (.*)", line)
        if heading:
            title = Inline(heading.group(2), problems)
            level = len(heading.group(1))
            if level == 1:
                out += [title, "=" * Width(title)]
            else:
                if out and out[-1] != "":
                    out.append("")
                out.append(("■ " if level == 2 else "□ ") + title)
            continue
        if stripped.startswith("|"):
            # A table's first row names its columns; each later row becomes
            # a line of its own.
            if table:
                cells = [Inline(cell, problems) for cell in stripped.strip("|").split("|")]
                out.append("・" + cells[0] + ": " + " / ".join(cells[1:]))
            table = True
            continue
        item = re.match(r"(\s*)[-*] (.*)", line)
        if item:
            out.append(item.group(1) + "・" + Inline(item.group(2), problems))
            continue
        text = Inline(line, problems)
        if text or (out and out[-1] != ""):
            out.append((re.match(r"\s*", line).group(0) if text else "") + text)
    while out and out[-1] == "":
        out.pop()
    return out


def main(args):
    if len(args) != 4:
        sys.stderr.write(__doc__)
        return 2
    guide, english, version, output = args
    problems = []
    with open(guide, encoding="utf-8") as source:
        lines = Convert(source.read(), problems)
    with open(english, encoding="utf-8") as source:
        english_text = source.read().strip("\n")
    lines[2:2] = ["", "バージョン " + version]
    text = "\n".join(lines) + "\n\n\n" + english_text.replace("@VERSION@", version) + "\n"
    for name in ("README.md", "docs/", ".md"):
        if name in text:
            problems.append("the text names %s, which the archive does not hold" % name)
    for problem in problems:
        sys.stderr.write("make_readme.py: %s\n" % problem)
    if problems:
        return 1
    with open(output, "w", encoding="utf-8", newline="\n") as target:
        target.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/python3
"""Writes the release archive's README.txt: the Japanese user guide
(docs/README.ja.md) as plain text for Notepad, with the version, followed
by the English part. make_zip.py then gives it CRLF line ends and a UTF-8
byte-order mark.

Markdown becomes plain text: headings get a mark, list items a bullet,
tables a line per row, code blocks an indent; emphasis and code marks go,
pictures go, and a link keeps its text, with its address on a line of its
own after the paragraph. A link to a file other than the licence
(LICENSE.txt in the archive) fails the script: the archive holds nothing
else to point to.

Windows 10's Notepad opens with word wrap off, so every line is wrapped at
check_japanese_guide.LIMIT display columns (a full-width character counts
two), never before closing punctuation or after opening punctuation, and
a list item's lines hang under its text. The script checks what it writes
with check_japanese_guide.TextProblems, and fails on any problem.

usage: make_readme.py GUIDE_MD ENGLISH_TXT VERSION OUTPUT
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_japanese_guide import LIMIT, NO_LINE_END, NO_LINE_START, TextProblems, Width  # noqa: E402

IN_ARCHIVE = {"../LICENSE": "LICENSE.txt", "LICENSE": "LICENSE.txt"}
# What a line is wrapped between: a short UI label ([全般]), an ASCII word,
# spaces, or one character.
TOKEN = re.compile(r"\[[^\]\s]{1,10}\]|[!-~]+|\s+|.")


def Wrap(line, hang):
    """The line in pieces of at most LIMIT columns, each after the first
    indented by `hang` spaces."""
    lines, current = [], []
    for token in TOKEN.findall(line):
        filled = "".join(current)
        if token.isspace() and lines and not filled.strip():
            continue
        if not filled.strip() or token.isspace() or Width(filled + token) <= LIMIT:
            current.append(token)
            continue
        # Closing punctuation never begins a line, and opening punctuation
        # never ends one: such a character goes down with its neighbour.
        carried = [token]
        while True:
            while len(current) > 1 and current[-1].isspace():
                current.pop()
            if len(current) > 1 and (carried[0][0] in NO_LINE_START or current[-1][-1] in NO_LINE_END):
                carried.insert(0, current.pop())
            else:
                break
        lines.append("".join(current).rstrip())
        current = [" " * hang] + carried
    lines.append("".join(current).rstrip())
    return lines


def Inline(text, links, problems):
    def Link(match):
        label, target = match.group(1), match.group(2)
        if re.match(r"https?://", target):
            if (label, target) not in links:
                links.append((label, target))
            return label
        if target.startswith("#"):
            return label
        if target in IN_ARCHIVE:
            # A link named after its file gives just the file's name.
            return IN_ARCHIVE[target]
        problems.append("a link to %s, which the archive does not hold" % target)
        return label

    text = re.sub(r"!\[[^\]]*\]\([^)]*\)", "", text)
    text = re.sub(r"\[([^\]]+)\]\(([^)]+)\)", Link, text)
    text = re.sub(r"\*\*([^*]+)\*\*", r"\1", text)
    text = re.sub(r"`([^`]+)`", r"\1", text)
    return text.strip()


def Emit(out, text, lead, hang, links):
    """A line of text, wrapped, and then the addresses of its links."""
    out += Wrap(lead + text, hang)
    out += [" " * hang + label + ": " + address for label, address in links]


def Convert(markdown, problems):
    out = []
    fenced = False
    table = False
    for line in markdown.splitlines():
        stripped = line.strip()
        links = []
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
            title = Inline(heading.group(2), links, problems)
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
                cells = [Inline(cell, links, problems) for cell in stripped.strip("|").split("|")]
                Emit(out, cells[0] + ": " + " ".join(cells[1:]), "・", 2, links)
            table = True
            continue
        item = re.match(r"(\s*)[-*] (.*)", line)
        if item:
            indent = item.group(1)
            Emit(out, Inline(item.group(2), links, problems), indent + "・", len(indent) + 2, links)
            continue
        numbered = re.match(r"(\s*)(\d+\. )(.*)", line)
        if numbered:
            lead = numbered.group(1) + numbered.group(2)
            Emit(out, Inline(numbered.group(3), links, problems), lead, len(lead), links)
            continue
        text = Inline(line, links, problems)
        if text:
            Emit(out, text, re.match(r"\s*", line).group(0), 0, links)
        elif out and out[-1] != "":
            out.append("")
    while out and out[-1] == "":
        out.pop()
    return out


def English(text, version):
    """The English part, its title underlined to its length, wrapped."""
    lines = text.replace("@VERSION@", version).strip("\n").splitlines()
    if len(lines) > 1 and re.fullmatch(r"=+", lines[1]):
        lines[1] = "=" * Width(lines[0])
    out = []
    for line in lines:
        hang = len(re.match(r"(\s*(- |\d+\. )?)", line).group(0))
        out += Wrap(line, hang) if line else [""]
    return out


def main(args):
    if len(args) != 4:
        sys.stderr.write(__doc__)
        return 2
    guide, english, version, output = args
    problems = []
    with open(guide, encoding="utf-8") as source:
        lines = Convert(source.read().replace("<バージョン>", version), problems)
    with open(english, encoding="utf-8") as source:
        english_lines = English(source.read(), version)
    lines[2:2] = ["", "バージョン " + version]
    text = "\n".join(lines) + "\n\n\n" + "\n".join(english_lines) + "\n"
    for name in ("README.md", "docs/", ".md"):
        if name in text:
            problems.append("the text names %s, which the archive does not hold" % name)
    problems += TextProblems(text)
    for problem in problems:
        sys.stderr.write("make_readme.py: %s\n" % problem)
    if problems:
        return 1
    with open(output, "w", encoding="utf-8", newline="\n") as target:
        target.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

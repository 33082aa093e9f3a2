#!/usr/bin/python3
"""Writes the release archive's README.txt: the Japanese user guide
(docs/README.ja.md) as plain text for Notepad, with the version, followed
by the English part (docs/readme-english.txt). make_zip.py then gives it
CRLF line ends and a UTF-8 byte-order mark.

Markdown becomes plain text: headings get a mark, list items a bullet,
tables a line per row (ended with 。 like the other bullets), code blocks
an indent; bold and pictures go. A literal keeps its marks: a code span
its backquotes, a UI label its [ ], a message its 「」, and in the English
part a quotation its " ". A link to a web page becomes its text in 『』,
read as the title of the page it names, and so does a later mention of a
page's title in plain text (titles with Latin letters only, such as
"timeBeginPeriod 関数", so that a title that is also an ordinary word is
left alone); the pages are listed once each, with their addresses, at
the end of the Japanese part. A link to the licence names LICENSE.txt; a
paragraph that points to another document of the source tree is left
out, as the archive does not hold it. Any other link fails the script.

Windows 10's Notepad opens with word wrap off, so every line is wrapped
at LIMIT display columns (a full-width character counts two), never
before closing punctuation or after opening punctuation, nor between a
mark's head ("(記載:", "(観察:") and what follows it, and a list item's
lines hang under its text. A literal is never broken: one longer than
the line stands on a line of its own.

The script then checks what it wrote, and fails on: a literal of the
source that is not whole on one line; a line wider than LIMIT that is not
a lone literal or an address; a line that begins with closing punctuation
or ends with opening punctuation or a mark's head; a link whose text reads as a gloss
rather than a reference (a parenthesis holding only a link, or a name
given twice in one parenthesis, as code and as a link); <バージョン> left
where the version belongs; a name of a file the archive does not hold.

usage: make_readme.py GUIDE_MD ENGLISH_TXT VERSION OUTPUT
"""
import re
import sys
import unicodedata

LIMIT = 70
NO_LINE_START = "、。，．）」』】〕〉》ーぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ？！：；)]},.:;?!"
NO_LINE_END = "「『（【〔〈《([{"
# The head of a mark, which stays on the line of what it introduces.
MARK_HEAD = re.compile(r" ?\((?:記載|観察|このガイドの解釈)[:。]? *$")
ADDRESS = re.compile(r"https?://\S+$")
IN_ARCHIVE = {"../LICENSE": "LICENSE.txt", "LICENSE": "LICENSE.txt"}
# What must stay whole and marked: a code span, a UI label, a message, a
# page's title (a link's text) and a quotation in the English part.
LITERAL = r"`[^`]+`|\[[^\]]+\]|「[^「」]*」|『[^『』]+』|\"[^\"]+\""
# What a line is wrapped between: a literal, an ASCII word (which stops
# before a literal's opening mark), spaces, or one character.
TOKEN = re.compile(LITERAL + r"|(?:(?![`\[\"])[!-~])+|\s+|.")
LINK = re.compile(r"\[([^\]]+)\]\(([^)\s]+)\)")
GLOSS = re.compile(r"\(\s*\[[^\]]+\]\(https?://[^)\s]+\)\s*\)")
NAMED_TWICE = re.compile(r"`(\w+)[^`]*`\W{0,3}\[\1[ \]]")


def Width(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def Wrap(line, hang):
    """The line in pieces of at most LIMIT columns, each after the first
    indented by `hang` spaces; a literal wider than that alone on its
    line."""
    lines, current, alone = [], [], False
    for token in TOKEN.findall(line):
        filled = "".join(current)
        if token.isspace() and lines and not filled.strip():
            continue
        if token.isspace() and alone:
            lines.append(filled.rstrip())
            current, alone = [" " * hang], False
            continue
        fits = not filled.strip() or token.isspace() or Width(filled + token) <= LIMIT
        if fits and not (alone and token[0] not in NO_LINE_START):
            current.append(token)
            alone = alone and not token.isspace()
            continue
        # Closing punctuation never begins a line, and opening punctuation
        # never ends one: such a character goes down with its neighbour.
        carried = [token]
        while True:
            # A mark's head goes down with what it introduces, and the
            # space after it with it.
            filled = "".join(current)
            head = MARK_HEAD.search(filled)
            if head and filled[:head.start()].strip():
                while len("".join(current)) > head.start():
                    carried.insert(0, current.pop())
                while carried[0].isspace():
                    carried.pop(0)
                continue
            while len(current) > 1 and current[-1].isspace():
                current.pop()
            if len(current) > 1 and (carried[0][0] in NO_LINE_START or current[-1][-1] in NO_LINE_END):
                carried.insert(0, current.pop())
            else:
                break
        lines.append("".join(current).rstrip())
        current = [" " * hang] + carried
        # A literal wider than the line ends its line too.
        alone = Width("".join(current)) > LIMIT
    lines.append("".join(current).rstrip())
    return [line for line in lines if line.strip()] or [""]


class Links:
    """The web pages the text links to, each once, in order, and the
    titles that later mentions in plain text name them by."""

    def __init__(self, markdown):
        self.pages = []
        titles = {label for label, target in LINK.findall(markdown)
                  if re.match(r"https?://", target) and re.search(r"[A-Za-z]", label)}
        self.mention = re.compile("|".join(r"(?<!『)%s(?!』)" % re.escape(t) for t in sorted(titles, key=len,
                                                                                           reverse=True)) or "(?!)")

    def Title(self, label, address):
        if address not in [page[1] for page in self.pages]:
            self.pages.append((label, address))
        return "『%s』" % label


def Inline(text, links, problems):
    """A line of the guide as plain text, or None for a line that points
    to a document of the source tree."""
    for gloss in GLOSS.findall(text):
        problems.append("a link reads as a gloss, not a reference: %s" % gloss)
    for name in NAMED_TWICE.findall(text):
        problems.append("a parenthesis names %s twice, as code and as a link" % name)
    text = re.sub(r"!\[[^\]]*\]\([^)]*\)", "", text)
    for label, target in LINK.findall(text):
        if not re.match(r"https?://", target) and target not in IN_ARCHIVE and target.endswith(".md"):
            return None

    def Link(match):
        label, target = match.group(1), match.group(2)
        if re.match(r"https?://", target):
            return links.Title(label, target)
        if target in IN_ARCHIVE:
            # A link named after its file gives just the file's name.
            return IN_ARCHIVE[target]
        problems.append("a link to %s, which the archive does not hold" % target)
        return label

    text = LINK.sub(Link, text)
    # A page named again in plain text reads as the same reference; a
    # literal keeps what it holds.
    text = "".join(piece if re.fullmatch(LITERAL, piece) else links.mention.sub(lambda m: "『%s』" % m.group(0), piece)
                   for piece in re.split("(%s)" % LITERAL, text))
    # The space that sets a link apart in Markdown goes where 『』 do that.
    text = re.sub(r"(?<=[^\x00-\x7f]) 『", "『", text)
    text = re.sub(r"』 (?=[^\x00-\x7f])", "』", text)
    text = re.sub(r"\*\*([^*]+)\*\*", r"\1", text)
    return text.strip()


def Emit(out, logical, text, lead, hang):
    """A line of text, wrapped; `logical` keeps it whole for the check."""
    logical.append(text)
    out += Wrap(lead + text, hang)


def Convert(markdown, links, logical, problems):
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
            title = Inline(heading.group(2), links, problems)
            level = len(heading.group(1))
            logical.append(title)
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
                cells = [Inline(cell, links, problems) or "" for cell in stripped.strip("|").split("|")]
                text = cells[0] + ": " + " ".join(cells[1:])
                Emit(out, logical, text if text.endswith("。") else text + "。", "・", 2)
            table = True
            continue
        item = re.match(r"(\s*)[-*] (.*)", line)
        numbered = re.match(r"(\s*)(\d+\. )(.*)", line)
        if item or numbered:
            lead = item.group(1) + "・" if item else numbered.group(1) + numbered.group(2)
            text = Inline((item or numbered).group(item and 2 or 3), links, problems)
            if text is not None:
                Emit(out, logical, text, lead, Width(lead))
            continue
        text = Inline(line, links, problems)
        if text:
            Emit(out, logical, text, re.match(r"\s*", line).group(0), 0)
        elif text is not None and out and out[-1] != "":
            out.append("")
    while out and out[-1] == "":
        out.pop()
    return out


def References(links):
    """The pages the guide links to, each with its address."""
    if not links.pages:
        return []
    out = ["", "■ 参照先"]
    for label, address in links.pages:
        out += ["・『%s』" % label, "  " + address]
    return out


def English(text, version, logical):
    """The English part, its title underlined to its length, wrapped."""
    lines = text.replace("@VERSION@", version).strip("\n").splitlines()
    if len(lines) > 1 and re.fullmatch(r"=+", lines[1]):
        lines[1] = "=" * Width(lines[0])
    out = []
    for line in lines:
        hang = len(re.match(r"(\s*(- |\d+\. )?)", line).group(0))
        logical.append(line)
        out += Wrap(line, hang) if line else [""]
    return out


def TextProblems(text, logical):
    """What is wrong with README.txt as Notepad shows it: `logical` holds
    the lines of the source as they were before they were wrapped."""
    problems = []
    lines = text.splitlines()
    for literal in sorted(set(re.findall(LITERAL, "\n".join(logical)))):
        wanted = sum(line.count(literal) for line in logical)
        whole = sum(line.count(literal) for line in lines)
        if whole < wanted:
            problems.append("README.txt does not keep %s whole and marked on one line" % literal)
    for number, line in enumerate(lines, 1):
        words = ADDRESS.sub("", line).rstrip()
        lone = re.fullmatch(r"\s*(・|\d+\. )?[%s]*(%s)[%s]*" %
                            (re.escape(NO_LINE_END), LITERAL, re.escape(NO_LINE_START)), words)
        if Width(words) > LIMIT and not lone:
            problems.append("README.txt line %d is %d columns wide, over %d" % (number, Width(words), LIMIT))
        stripped = line.strip()
        if stripped and stripped[0] in NO_LINE_START:
            problems.append("README.txt line %d begins with %s" % (number, stripped[0]))
        if stripped and stripped[-1] in NO_LINE_END:
            problems.append("README.txt line %d ends with %s" % (number, stripped[-1]))
        if MARK_HEAD.search(line) and MARK_HEAD.sub("", line).strip():
            problems.append("README.txt line %d ends with a mark's head, away from what it introduces" % number)
        if "<バージョン>" in line:
            problems.append("README.txt line %d has <バージョン> where the version belongs" % number)
    for name in ("README.md", "docs/", ".md"):
        if name in text:
            problems.append("the text names %s, which the archive does not hold" % name)
    return problems


def main(args):
    if len(args) != 4:
        sys.stderr.write(__doc__)
        return 2
    guide, english, version, output = args
    with open(guide, encoding="utf-8") as source:
        markdown = source.read().replace("<バージョン>", version)
    problems, logical, links = [], [], Links(markdown)
    lines = Convert(markdown, links, logical, problems)
    lines += References(links)
    with open(english, encoding="utf-8") as source:
        english_lines = English(source.read(), version, logical)
    lines[2:2] = ["", "バージョン " + version]
    text = "\n".join(lines) + "\n\n\n" + "\n".join(english_lines) + "\n"
    problems += TextProblems(text, logical)
    for problem in problems:
        sys.stderr.write("make_readme.py: %s\n" % problem)
    if problems:
        return 1
    with open(output, "w", encoding="utf-8", newline="\n") as target:
        target.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

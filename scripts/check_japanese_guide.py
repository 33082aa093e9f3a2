#!/usr/bin/python3
"""Checks the Japanese user guide (docs/README.ja.md):

1. textlint, with .textlintrc.yml: the technical-writing and JTF presets
   and Microsoft's Japanese terms (docs/microsoft-terms.yml). textlint is
   installed from package-lock.json (npm ci) when node_modules is missing
   or older than the lock file.
2. Alignment with the English README's user sections, from its title to
   the section before "## Building and testing". The sections are paired
   in order, with their heading levels (the guide ends with a licence
   section of its own: the README says the licence in its last line),
   and within a section the blocks one to one: paragraphs, list items,
   table rows, code blocks and pictures (the README's pointer to this
   guide has none). Each pair of blocks must cite the same Microsoft
   pages, the guide at the ja-jp address of each, and carry as many
   "documented" marks (記載 in the guide), "observed" ones (観察) and
   "our reading" ones (このガイドの解釈); the guide keeps those words for
   its marks. A mark covers the sentence it ends, so what a marked
   sentence of the README says must stand in a sentence of the guide
   that carries the same mark (SentenceMarks). Where the blocks of a
   section cannot be paired, that fails, and the section is compared as
   a whole; where the sections differ, the two texts are.
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
ITEM = re.compile(r"\s*(?:[-*+]|\d+\.) ")
ITALIC = re.compile(r"(?<![*\w])[*_](?![*_\s])[^*_`]+(?<![*_\s])[*_](?![*\w])")
# The marks, in the README and in the guide. A word in quotes ("observed",
# 「観察」) names the mark rather than using it.
MARKS = (("documented", re.compile(r"\bdocumented\b", re.I), "記載"),
         ("observed", re.compile(r"\bobserved\b", re.I), "観察"),
         ("our reading", re.compile(r"\bour reading\b", re.I), "このガイドの解釈"))
QUOTED = re.compile(r"\"[^\"]*\"|「[^「」]*」")
# What a sentence of the guide and one of the README share, besides
# names, numbers and pages: the same thing in each language's words.
TERMS = ((r"[Tt]imer[ -]resolution", "タイマー解像度"), (r"[Tt]hrottling", "電源調整"),
         (r"[Ff]oreground", "フォアグラウンド"), (r"[Tt]askbar", "タスク バー"),
         (r"Controlled [Ff]older [Aa]ccess", "コントロールされたフォルダー アクセス"),
         (r"Smart App Control", "スマート アプリ コントロール"), (r"app intelligence", "アプリ インテリジェンス"),
         (r"Trusted Root Program", "信頼されたルート プログラム"), (r"clean install", "クリーン インストール"),
         (r"reputation", "評判"), (r"\bDocuments\b", "ドキュメント"), (r"\bDownloads\b", "ダウンロード"),
         (r"\b[Hh]idden\b|\b[Hh]ides?\b", "非表示"), (r"[Mm]inimi[sz]", "最小化"),
         (r"[Mm]essage box|[Rr]eport box", "メッセージ ボックス"), (r"\b[Jj]obs?\b", "ジョブ"),
         (r"[Cc]lipboard", "クリップボード"), (r"KnownDLL|known DLL", "既知の DLL"),
         (r"Task Manager", "タスク マネージャー"), (r"efficiency mode", "効率モード"),
         (r"efficient cores", "効率的なコア"), (r"Quality of [Ss]ervice", "サービスの品質"),
         (r"command prompt", "コマンド プロンプト"), (r"Explorer", "エクスプローラー"),
         (r"delay-loaded", "遅延読み込み"), (r"elevation", "昇格"), (r"\bticks?\b", "ティック"),
         (r"\bowner\b", "所有者"), (r"Unblock", "許可する"), (r"Extract All", "すべて展開"))
KINDS = {"paragraph": "a paragraph", "item": "a list item", "row": "a table row", "code": "a code block",
         "picture": "a picture"}
WORD = re.compile(r"\d+(?:\.\d+)?|[A-Za-z][A-Za-z0-9_]+")
OPEN, CLOSE = "([「『", ")]」』"


def Sections(markdown, end=None):
    """[level, title, heading's line number, [(number, line)]] for each
    heading and what follows it, up to the heading `end`."""
    sections = []
    for number, line in enumerate(markdown.splitlines(), 1):
        if end and line.strip() == end:
            break
        heading = HEADING.fullmatch(line)
        if heading and not (sections and InFence(sections[-1][3])):
            sections.append([len(heading.group(1)), heading.group(2), number, []])
        elif sections:
            sections[-1][3].append((number, line))
    return sections


def InFence(lines):
    return sum(line.startswith("```") for _, line in lines) % 2 == 1


def Blocks(lines):
    """[kind, first line's number, text] for each paragraph, list item,
    table row, code block and picture of a section."""
    blocks, fenced, previous = [], False, ""
    for number, line in lines:
        if line.startswith("```"):
            if not fenced:
                blocks.append(["code", number, ""])
            fenced = not fenced
        elif fenced:
            blocks[-1][2] += line + "\n"
        elif re.fullmatch(r"\s*\|[\s:|-]+\|\s*", line):
            pass
        elif line.strip().startswith("|"):
            blocks.append(["row", number, line.strip()])
        elif line.strip().startswith("!["):
            blocks.append(["picture", number, line.strip()])
        elif ITEM.match(line):
            blocks.append(["item", number, ITEM.sub("", line, 1)])
        elif line.strip() and previous.strip() and blocks and blocks[-1][0] in ("paragraph", "item"):
            blocks[-1][2] += " " + line.strip()
        elif line.strip():
            blocks.append(["paragraph", number, line.strip()])
        previous = line if not fenced else ""
    return blocks


def Pages(text, problems, where):
    """The Microsoft pages a text links to, by their address without the
    locale."""
    pages = set()
    for address in MICROSOFT.findall(text):
        locale, path = LOCALE.match(address).groups()
        if where and locale != "ja-jp":
            problems.append("%s links to %s, not to its ja-jp page" % (where, address))
        pages.add(path)
    return pages


def MarkCounts(text, japanese):
    text = re.sub(r"`[^`]*`", "", text)
    return [text.count(word) if japanese else len(pattern.findall(text)) for _, pattern, word in MARKS]


def Units(text, japanese, withMarks=True):
    """The stretches of a block that one mark covers: its sentences, a
    sentence ending also right after a parenthesis that holds a mark (what
    follows it is not marked), and a list item's label ("**...**:") on
    its own. Without withMarks, the parentheses that hold a mark are left
    out of each."""
    spans = re.compile(r"`[^`]*`|(?<=\])\([^)\s]*\)")
    masked = spans.sub(lambda m: "x" * len(m.group(0)), text)
    units, start, depth, opened, cut = [], 0, 0, 0, []
    label = re.match(r"\*\*[^*]+\*\*:", masked)
    if label:
        units.append(text[:label.end()])
        start = label.end()
    for i, c in enumerate(masked):
        if i < start:
            continue
        if c in OPEN:
            depth, opened = depth + 1, opened if depth else i
        elif c in CLOSE and depth:
            depth -= 1
            if not depth and c == ")" and Marks(text[opened:i + 1], japanese):
                cut.append((opened, i + 1))
                units.append(Cut(text, start, i + 1, [] if withMarks else cut))
                start = i + 1
        elif not depth and (c == "。" if japanese else c in ".!?" and masked[i + 1:i + 2] in ("", " ")):
            units.append(Cut(text, start, i + 1, [] if withMarks else cut))
            start = i + 1
    units.append(text[start:])
    return [unit.strip() for unit in units if unit.strip(" .。:;")]


def Cut(text, start, end, parentheses):
    """text[start:end] without the parentheses that lie in it."""
    kept, at = "", start
    for opened, closed in parentheses:
        if start <= opened < end:
            kept, at = kept + text[at:opened], closed
    return kept + text[at:end]


def Marks(unit, japanese):
    """The marks a stretch of text carries, not counting a quoted one."""
    unit = QUOTED.sub("", re.sub(r"`[^`]*`", "", unit))
    return {name for name, pattern, word in MARKS if (word in unit if japanese else pattern.search(unit))}


def Anchors(unit, japanese):
    """What a stretch of text names in either language: names and numbers
    (code spans included), the pages it links to, Japanese text quoted in
    either, and the terms of TERMS."""
    pages = {"page " + LOCALE.match(address).group(2) for address in MICROSOFT.findall(unit)}
    text = re.sub(r"\]\([^)\s]*\)", "]", unit)
    anchors = set(WORD.findall(text)) | pages
    anchors |= {"「%s」" % q[1:-1] for q in QUOTED.findall(text) if any(IsJapanese(c) for c in q)}
    for english, word in TERMS:
        if (word in text) if japanese else re.search(english, text):
            anchors.add(word)
    return anchors


def Shown(anchor):
    return anchor if anchor.isascii() or anchor.startswith("「") else "「%s」" % anchor


def SentenceMarks(english, japanese, where):
    """A mark of the README covers its whole sentence. The guide may say
    that sentence in several, but what it shares with the README's marked
    sentence (a name, number, page or term) must stand in a sentence that
    carries the mark too, outside the mark itself: a sentence of the
    guide without the mark may only repeat what a marked one says. So the
    mark cannot end up on only part of what the README marks. Each of the
    two texts is one block, or one section where blocks cannot be
    paired."""
    problems = []
    englishUnits = [(Marks(u, False), Anchors(u, False)) for u in Units(english, False)]
    units = [(u, Marks(u, True), Anchors(u, True)) for u in Units(japanese, True)]
    # What a marked sentence says is what stands outside its mark.
    says = [Anchors(u, True) for u in Units(japanese, True, False)]
    for unit, marks, anchors in units:
        missing = {}
        for anchor in sorted(anchors):
            holding = [m for m, found in englishUnits if anchor in found]
            for name in (set.intersection(*holding) - marks) if holding else ():
                if not any(name in m and anchor in said for (_, m, _), said in zip(units, says)):
                    missing.setdefault(name, []).append(Shown(anchor))
        for name, names in sorted(missing.items()):
            word = [w for n, _, w in MARKS if n == name][0]
            problems.append("%s: 「%s」 says %s without %s, and no sentence of the guide with %s does; the README "
                            "says them only in a sentence marked %s" % (where, Short(unit), ", ".join(names), word, word,
                                                                     name))
    return problems


def Short(text):
    text = re.sub(r"\]\([^)\s]*\)", "]", text)
    return text if len(text) <= 60 else text[:57] + "…"


def Compare(english, japanese, where, problems):
    """The README's Microsoft pages and marks against the guide's."""
    cited, citedHere = Pages(english, problems, None), Pages(japanese, [], None)
    for page in sorted(cited - citedHere):
        problems.append("%s does not cite %s" % (where, page))
    for page in sorted(citedHere - cited):
        problems.append("%s cites %s, which the README does not" % (where, page))
    for (name, _, word), count, countHere in zip(MARKS, MarkCounts(english, False), MarkCounts(japanese, True)):
        if count != countHere:
            problems.append("%s has %d %s marks (%s), the README %d" % (where, countHere, name, word, count))


def Alignment(guide, readme):
    problems = []
    english = Sections(readme, USER_SECTIONS_END)
    japanese = Sections(guide)
    while japanese and japanese[-1][1] in GUIDE_ONLY:
        text = "\n".join(line for _, line in japanese[-1][3])
        if MICROSOFT.search(text) or any(MarkCounts(text, True)):
            problems.append("guide section %s cites Windows, which the README's user part does not" %
                            japanese[-1][1])
        japanese.pop()
    for section in japanese:
        Pages("\n".join(line for _, line in section[3]), problems, "guide section %s" % section[1])
    if [s[0] for s in english] != [s[0] for s in japanese]:
        problems.append("the sections differ: README %s, guide %s" % (
            ", ".join("%s %s" % ("#" * s[0], s[1]) for s in english),
            ", ".join("%s %s" % ("#" * s[0], s[1]) for s in japanese)))
        Compare("\n".join(l for s in english for _, l in s[3]), "\n".join(l for s in japanese for _, l in s[3]),
                "the guide", problems)
        return problems
    for (_, title, _, lines), (_, japaneseTitle, _, japaneseLines) in zip(english, japanese):
        where = "guide section %s (README: %s)" % (japaneseTitle, title)
        # The README's pointer to this guide has no counterpart in it.
        blocks = [b for b in Blocks(lines) if not re.search(r"\]\([^)]*README\.ja\.md\)", b[2])]
        blocksHere = Blocks(japaneseLines)
        if [b[0] for b in blocks] != [b[0] for b in blocksHere]:
            # Then the section as a whole.
            text, textHere = ("\n".join(b[2] for b in found if b[0] != "code") for found in (blocks, blocksHere))
            Compare(text, textHere, where, problems)
            problems += SentenceMarks(text, textHere, where)
            at = next((i for i, (a, b) in enumerate(zip(blocks, blocksHere)) if a[0] != b[0]),
                      min(len(blocks), len(blocksHere)))
            problems.append("%s: its blocks cannot be paired with the README's: the guide has %d, the README %d; "
                            "the first that differs is %s" % (where, len(blocksHere), len(blocks), ", ".join(
                                "%s line %d (%s)" % (name, found[at][1], KINDS[found[at][0]])
                                for name, found in (("guide", blocksHere), ("README", blocks)) if at < len(found))))
            continue
        for (kind, number, text), (_, numberHere, textHere) in zip(blocks, blocksHere):
            at = "guide line %d (README line %d)" % (numberHere, number)
            if kind != "code":
                Compare(text, textHere, at, problems)
                problems += SentenceMarks(text, textHere, at)
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
        print("%s: textlint clean; no hard-wrapped Japanese, no italics; block by block the README's Microsoft "
              "pages (ja-jp) and its marks, each over all of what its sentence says" % guide)
    return 0 if linted and not problems else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/env python3
"""README.txt, the README the packages install, from README.md.

    readme_txt.py README.md README.txt

A text for Notepad: UTF-8 with a byte order mark (which every Notepad
reads as UTF-8) and CRLF line ends. Markdown's marks go: headings are
underlined (=, -, ~ by level), code blocks indented by four spaces, tables
aligned in columns, backquotes and bold marks dropped. The parts of
README.md between the lines "<!-- begin: not in README.txt -->" and
"<!-- end: not in README.txt -->" (the source tree, the build) are left
out, and so is every other comment.

A link keeps its text. It may lead to a section of the README itself, to a
web address (written after its text), or to a file the packages install
(FILES below); any other target stops the build, so that the installed text
never points at what the package does not hold.
"""
import re
import sys

BEGIN = "<!-- begin: not in README.txt -->"
END = "<!-- end: not in README.txt -->"
# Files of the source tree that the packages install, by their installed
# names.
FILES = {"LICENSE": "LICENSE.txt"}
LINK = re.compile(r"\[([^\]]+)\]\(([^)\s]+)\)")


def fail(message):
    sys.exit("readme_txt.py: " + message)


def inline(text, line_number):
    def link(match):
        label, target = match.group(1), match.group(2)
        if target.startswith("#"):
            return label
        if re.match(r"https?://", target):
            return "%s (%s)" % (label, target)
        if target in FILES:
            return label if FILES[target] in label else "%s (%s)" % (label, FILES[target])
        fail("line %d: a link to %s, which the packages do not install" % (line_number, target))

    text = LINK.sub(link, text)
    text = text.replace("**", "")
    return text.replace("`", "")


def table(rows):
    cells = [[inline(c.strip(), n) for c in row.strip().strip("|").split("|")] for n, row in rows]
    header, body = cells[0], cells[2:]
    widths = [max(len(r[i]) for r in [header] + body) for i in range(len(header))]
    out = ["  ".join(c.ljust(w) for c, w in zip(header, widths)).rstrip()]
    out.append("  ".join("-" * w for w in widths))
    out += ["  ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip() for r in body]
    return out


def convert(lines):
    out = []
    skipping = code = False
    rows = []
    for number, line in enumerate(lines, 1):
        if line.strip() == BEGIN:
            skipping = True
            continue
        if line.strip() == END:
            skipping = False
            continue
        if skipping:
            continue
        if line.startswith("```"):
            code = not code
            continue
        if code:
            out.append(("    " + line).rstrip())
            continue
        if line.startswith("|"):
            rows.append((number, line))
            continue
        if rows:
            out += table(rows)
            rows = []
        if line.strip().startswith("<!--"):
            continue
        heading = re.match(r"(#+) (.*)", line)
        if heading:
            title = inline(heading.group(2), number)
            out.append(title)
            out.append("=-~"[min(len(heading.group(1)), 3) - 1] * len(title))
            continue
        out.append(inline(line, number).rstrip())
    if skipping or code:
        fail("README.md ends inside a left-out part or a code block")
    if rows:
        out += table(rows)
    # One blank line at most between blocks (left-out parts leave gaps).
    text = re.sub(r"\n{3,}", "\n\n", "\n".join(out).strip("\n") + "\n")
    return text


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: readme_txt.py README.md README.txt")
    with open(sys.argv[1], encoding="utf-8") as source:
        text = convert(source.read().split("\n"))
    with open(sys.argv[2], "wb") as target:
        target.write(b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8"))


if __name__ == "__main__":
    main()

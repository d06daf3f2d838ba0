#!/usr/bin/env python3
"""Writes the man page of zentraq-cli from the README's section on the tool.

    readme-to-man.py README.md OUT.1 VERSION DATE

The section "## Command-line tool: zentraq-cli" is the one description of the
tool; its "### " headings (NAME, SYNOPSIS, ...) become the man page's
sections. Understood: paragraphs, indented code blocks, tables (one tagged
paragraph per row), "- " lists, `code`, **bold** and *emphasis*, and
[links](address). Anything else is kept as text.

The README's code blocks are as wide as its text; in the man page a code line
that would not fit a terminal of 80 columns is broken at a space: outside
brackets, parentheses and quotes, a comment into more "# " lines, a command
with " \\" at the end of each broken part so that it can still be pasted
into a shell.
"""

import re
import sys
import unicodedata

SECTION = "## Command-line tool: zentraq-cli"
# Columns left for a code line: a terminal of 80, less the man page's indent
# of 7 and the code block's 4.
CODE_WIDTH = 80 - 7 - 4
CONTINUATION = "    "


def escape(text):
    """Roff-escapes plain text: backslashes and minus signs."""
    return text.replace("\\", "\\e").replace("-", "\\-")


def inline(text):
    """Markdown inline markup to roff fonts, escaping the rest."""
    out = []
    pattern = re.compile(r"`([^`]+)`|\*\*(.+?)\*\*|\*(\S(?:.*?\S)?)\*|\[([^\]]+)\]\(([^)]+)\)")
    pos = 0
    for m in pattern.finditer(text):
        out.append(escape(text[pos:m.start()]))
        code, bold, emphasis, label, address = m.groups()
        if code is not None:
            out.append("\\fB" + escape(code) + "\\fR")
        elif bold is not None:
            out.append("\\fB" + inline(bold) + "\\fR")
        elif emphasis is not None:
            out.append("\\fI" + inline(emphasis) + "\\fR")
        else:
            out.append(inline(label) + " <" + escape(address) + ">")
        pos = m.end()
    out.append(escape(text[pos:]))
    return "".join(out)


def line_safe(text):
    """A roff text line must not start with a control character."""
    return "\\&" + text if text.startswith((".", "'")) else text


def cells(row):
    """The cells of a table row. As in GitHub's tables, "\\|" is a "|" inside
    a cell, also inside a code span, and does not end the cell."""
    row = row.strip()
    if row.startswith("|"):
        row = row[1:]
    if row.endswith("|") and not row.endswith("\\|"):
        row = row[:-1]
    return [c.strip().replace("\\|", "|") for c in re.split(r"(?<!\\)\|", row)]


def columns(text):
    """Terminal columns of a text: wide (CJK) characters take two."""
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def break_points(text, comment):
    """Indexes of the spaces a line may be broken at, the best first: in a
    comment every space between words; in code the spaces before an option
    outside brackets, parentheses and quotes (so that an option stays with
    its value), then the other spaces outside them, then those inside
    brackets and parentheses."""
    options, outside, inside, depth, quote = [], [], [], 0, None
    for i, c in enumerate(text):
        if quote:
            quote = None if c == quote else quote
        elif c in "'\"" and not comment:
            quote = c
        elif c in "[(" and not comment:
            depth += 1
        elif c in "])" and not comment:
            depth = max(0, depth - 1)
        elif c == " " and 0 < i and text[i - 1] != " ":
            if depth:
                inside.append(i)
            else:
                (options if text.startswith(("-", "[", "(", "|"), i + 1) and not comment else outside).append(i)
    return [options, outside, inside]


def wrap_code(line, shell):
    """A code line as lines of at most CODE_WIDTH columns where it can be
    broken (see the module's comment); a part that cannot be broken stays
    whole."""
    indent = line[: len(line) - len(line.lstrip(" "))]
    comment = line.lstrip().startswith("#")
    mark = " \\" if shell and not comment else ""
    out, rest, lead = [], line, indent
    while columns(rest) > CODE_WIDTH:
        cut = None
        for points in break_points(rest, comment):
            fits = [p for p in points if p > len(lead) and columns(rest[:p] + mark) <= CODE_WIDTH]
            if fits:
                cut = fits[-1]
                break
        if cut is None:
            break
        out.append(rest[:cut] + mark)
        if comment:
            lead = indent + "# "
            rest = lead + rest[cut + 1:].lstrip()
        else:
            lead = indent + CONTINUATION
            rest = lead + rest[cut + 1:].lstrip()
    out.append(rest)
    return out


def logical_lines(block):
    """The lines of a code block in groups that read as one: a line with the
    more deeply indented lines after it (a command or synopsis continued), or
    a run of comment lines at the same indentation."""
    def indent(line):
        return len(line) - len(line.lstrip(" "))

    groups = []
    for line in block:
        last = groups[-1] if groups else None
        comment = line.lstrip().startswith("#")
        if last and line.strip() and last[0].strip():
            first_comment = last[0].lstrip().startswith("#")
            if (comment and first_comment and indent(line) == indent(last[0])) or (
                not comment and not first_comment and indent(line) > indent(last[0])
            ):
                last.append(line)
                continue
        groups.append([line])
    return groups


def section_lines(readme):
    lines = readme.splitlines()
    try:
        start = lines.index(SECTION) + 1
    except ValueError:
        sys.exit("readme-to-man: no section '%s' in the README" % SECTION)
    end = next((i for i in range(start, len(lines)) if lines[i].startswith("## ")), len(lines))
    return lines[start:end]


def convert(lines):
    out = []
    section = None
    i = 0
    while i < len(lines):
        line = lines[i]
        if not line.strip():
            i += 1
            continue
        if line.startswith("### ") or line.startswith("#### "):
            title = line.lstrip("#").strip()
            section = title.upper()
            out.append((".SH " if line.startswith("### ") else ".SS ") + escape(title))
            i += 1
            continue
        if line.startswith("    "):
            block = []
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                block.append(lines[i][4:])
                i += 1
            while block and not block[-1].strip():
                block.pop()
            out += [".PP", ".RS 4", ".nf"]
            shell = section != "SYNOPSIS"
            for group in logical_lines(block):
                if not group[0].strip():
                    out.append("")
                    continue
                if len(group) > 1 and any(columns(g) > CODE_WIDTH for g in group):
                    group = [" ".join([group[0].rstrip()] + [g.strip().lstrip("#").strip() if g.lstrip().startswith("#") else g.strip() for g in group[1:]])]
                for g in group:
                    out += [line_safe(escape(w)) for w in wrap_code(g, shell)]
            out += [".fi", ".RE"]
            continue
        if line.lstrip().startswith("|"):
            rows = []
            while i < len(lines) and lines[i].lstrip().startswith("|"):
                rows.append(cells(lines[i]))
                i += 1
            header, body = rows[0], [r for r in rows[1:] if not all(re.fullmatch(r":?-+:?", c) for c in r)]
            for row in body:
                row += [""] * (len(header) - len(row))
                tag = inline(row[0])
                if len(row) > 2:
                    tag += " \\fR(" + ", ".join(inline(c) for c in row[1:-1]) + ")"
                out += [".TP", line_safe(tag), line_safe(inline(row[-1]))]
            continue
        if line.startswith("- ") or line.startswith("* "):
            while i < len(lines) and (lines[i].startswith("- ") or lines[i].startswith("* ")):
                item = [lines[i][2:].strip()]
                i += 1
                while i < len(lines) and lines[i].startswith("  ") and lines[i].strip():
                    item.append(lines[i].strip())
                    i += 1
                out += [".IP \\(bu 2", line_safe(inline(" ".join(item)))]
            continue
        paragraph = []
        while i < len(lines) and lines[i].strip() and not lines[i].startswith(("    ", "#", "|", "- ", "* ")):
            paragraph.append(lines[i].strip())
            i += 1
        text = " ".join(paragraph)
        if section == "NAME":
            # "name — what it does" as whatis and apropos read it.
            text = re.sub(r"\s+[—–]\s+", " - ", re.sub(r"[`*]", "", text), count=1)
            out.append(line_safe(escape(text)))
        else:
            out += [".PP", line_safe(inline(text))]
    return out


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: readme-to-man.py README.md OUT.1 VERSION DATE")
    readme, target, version, date = sys.argv[1:]
    with open(readme, encoding="utf-8") as f:
        body = convert(section_lines(f.read()))
    head = [
        ".\\\" Generated from the README's section on zentraq-cli by packaging/readme-to-man.py.",
        '.TH ZENTRAQ\\-CLI 1 "%s" "Zentraq %s" "User Commands"' % (date, version),
        ".nh",  # paths and option names are not hyphenated
    ]
    with open(target, "w", encoding="utf-8") as f:
        f.write("\n".join(head + body) + "\n")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""zentraq-cli font --chars-from against clang's raw lexer.

    chars_from_clang.py ZENTRAQ_CLI FACE LVGL_TARBALL WORKDIR

For every .c and .h file of the LVGL tarball, the characters --chars-from
takes (printed by --list-chars) must equal those of the string and character
literal tokens that `clang -cc1 -dump-raw-tokens FILE` lists, decoded here
(the header names of #include aside; control characters, as the tool leaves
them out, too; a C file with raw strings, a GNU C extension, lexed as C++).
A file whose literal clang's raw lexer leaves unterminated must be refused,
naming the file and line. Exit 77 (skipped) without clang
or the tarball.
"""
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tarfile
import unicodedata

LITERALS = {
    "string_literal", "wide_string_literal", "utf8_string_literal", "utf16_string_literal",
    "utf32_string_literal", "char_constant", "wide_char_constant", "utf8_char_constant",
    "utf16_char_constant", "utf32_char_constant",
}
CPP = (".cc", ".cpp", ".cxx", ".hpp", ".hh", ".hxx", ".ino")
TOKEN = re.compile(r"^(\w+) '(.*?)'\t(?: \[[^\]]*\])*\tLoc=<", re.S | re.M)
SIMPLE = {"n": 10, "t": 9, "r": 13, "a": 7, "b": 8, "f": 12, "v": 11, "e": 27, "E": 27}


def decode_literal(text):
    """The characters of one literal token, as a string."""
    m = re.match(r'^(u8|u|U|L)?(R)?(["\'])', text)
    prefix, raw, quote = m.group(1) or "", m.group(2), m.group(3)
    bits = {"u": 16, "U": 32, "L": 32}.get(prefix, 8)
    body = text[m.end():]
    units = []

    def put(cp):
        if bits == 32:
            units.append(cp)
        elif bits == 16:
            units.extend(int.from_bytes(b, "little") for b in
                         re.findall(b"..", chr(cp).encode("utf-16-le", "surrogatepass"), re.S))
        else:
            units.extend(chr(cp).encode("utf-8", "surrogatepass"))

    if raw:
        delim = body[:body.index("(")]
        for ch in body[len(delim) + 1:-(len(delim) + 2)]:
            put(ord(ch))
    else:
        body = re.sub(r"\\\r?\n", "", body)[:-1]  # splices, then the closing quote
        mask = (1 << bits) - 1
        i = 0
        while i < len(body):
            c = body[i]
            if c != "\\":
                put(ord(c))
                i += 1
                continue
            e = body[i + 1]
            i += 2
            if e in SIMPLE:
                units.append(SIMPLE[e])
            elif e == "x":
                d = re.match(r"[0-9a-fA-F]*", body[i:]).group(0)
                i += len(d)
                units.append(int(d or "0", 16) & mask)
            elif e in "uU":
                want = 4 if e == "u" else 8
                d = re.match(r"[0-9a-fA-F]{%d}" % want, body[i:])
                if d:
                    i += want
                    put(int(d.group(0), 16))
            elif e in "01234567":
                d = re.match(r"[0-7]{0,2}", body[i:]).group(0)
                i += len(d)
                units.append(int(e + d, 8) & mask)
            else:
                put(ord(e))
    if bits == 8:
        s = bytes(units).decode("utf-8", "ignore")
    elif bits == 16:
        s = b"".join(u.to_bytes(2, "little") for u in units).decode("utf-16-le", "ignore")
    else:
        s = "".join(chr(u) for u in units if u <= 0x10FFFF and not 0xD800 <= u <= 0xDFFF)
    return s


def clang_chars(path, cpp=False):
    """(characters, unterminated): the literals' characters, and whether the
    raw lexer left a literal open. A C file whose literal clang's C lexer
    leaves open is read again as C++: GNU C takes raw strings as C++ does
    (clang 14's C mode does not), and LVGL's own C sources use them."""
    args = ["clang", "-cc1", "-dump-raw-tokens"]
    if cpp or path.endswith(CPP):
        args += ["-x", "c++"]
    out = subprocess.run(args + [path], capture_output=True).stderr.decode("utf-8", "replace")
    chars, open_literal = set(), False
    tokens = TOKEN.findall(out)
    for k, (kind, text) in enumerate(tokens):
        if kind == "unknown" and text[:1] in ("'", '"'):
            open_literal = True
        if kind not in LITERALS:
            continue
        # The header name of #include "x.h" (whitespace tokens between).
        before = [t for t in tokens[max(0, k - 5):k] if t[0] != "unknown"]
        if (len(before) >= 2 and before[-2][0] == "hash" and before[-1][0] == "raw_identifier"
                and before[-1][1] in ("include", "include_next", "import")):
            continue
        chars.update(c for c in decode_literal(text) if unicodedata.category(c) != "Cc")
    if open_literal and not cpp and not path.endswith(CPP):
        return clang_chars(path, True)
    return chars, open_literal


def ours(cli, face, path):
    r = subprocess.run([cli, "font", "--font-file", face, "--size", "16", "--chars-from", path,
                        "--list-chars"], capture_output=True)
    return r.returncode, r.stdout.decode("utf-8").rstrip("\n"), r.stderr.decode("utf-8")


def check(cli, face, path, shown):
    theirs, open_literal = clang_chars(path)
    code, out, err = ours(cli, face, path)
    if open_literal:
        if code == 0 or not err.startswith("zentraq-cli: %s:" % path):
            return "%s: clang's lexer leaves a literal open, but zentraq-cli says: %d %s" % (
                shown, code, err.strip()), theirs
        return None, theirs
    if code != 0:
        return "%s: zentraq-cli failed: %s" % (shown, err.strip()), theirs
    if set(out) != theirs:
        return "%s: only clang: %r, only zentraq-cli: %r" % (
            shown, "".join(sorted(theirs - set(out))), "".join(sorted(set(out) - theirs))), theirs
    return None, theirs


def main(argv):
    if len(argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    cli, face, tarball, work = argv[1:]
    for missing, what in ((not shutil.which("clang"), "clang (Debian clang)"),
                          (not os.path.exists(tarball), tarball), (not os.path.exists(face), face)):
        if missing:
            print("skipped: %s not found" % what)
            return 77
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    with tarfile.open(tarball) as t:
        members = [m for m in t.getmembers() if m.isfile() and m.name.endswith((".c", ".h"))]
        t.extractall(work, members)
    files = sorted(os.path.join(work, m.name) for m in members)
    with concurrent.futures.ProcessPoolExecutor(2) as pool:
        results = list(pool.map(check, [cli] * len(files), [face] * len(files), files,
                                [os.path.relpath(f, work) for f in files], chunksize=16))
    problems = [p for p, _ in results if p]
    total = set().union(*(chars for _, chars in results))
    for p in problems[:20]:
        print(p)
    print("%d files, %d distinct characters in their literals; %d differ" % (
        len(files), len(total), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

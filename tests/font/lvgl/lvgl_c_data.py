"""The data of an LVGL C font, apart from its comments and names, for
merged_fonts.py: data() one item a line, digest() its SHA-256, compare()
the first difference.

The file goes through the C preprocessor for LVGL VERSION (9 or 8), with
an empty lvgl.h, so that only what that version compiles is read. Each
array and structure is then read as its values: numbers as numbers,
identifiers without the font's own name (`f_glyph_dsc` and `glyph_dsc`
are one name; `font_dsc` and `dsc` too), fields by name (a field that is
0 or NULL as one left out). lv_font_conv
writes v8's glyph cache, which no font of ours has: `cache` is left out.

For LVGL 8 the character maps are compared as what they map (each code
and its glyph), not as tables: our v8 fonts split the tables where LVGL
8.3 would look a code up past a table's end.
"""
import hashlib
import os
import re
import subprocess
import tempfile

ROLES = ("glyph_bitmap", "glyph_dsc", "cmaps", "kern_left_class_mapping",
         "kern_right_class_mapping", "kern_class_values", "kern_classes",
         "kern_pair_glyph_ids", "kern_pair_values", "kern_pairs", "dsc", "cache")


def preprocess(path, version):
    with tempfile.TemporaryDirectory() as stub:
        open(os.path.join(stub, "lvgl.h"), "w").close()
        os.makedirs(os.path.join(stub, "lvgl"))
        open(os.path.join(stub, "lvgl", "lvgl.h"), "w").close()
        return subprocess.run(
            ["cpp", "-P", "-I", stub, "-DLV_LVGL_H_INCLUDE_SIMPLE",
             "-DLVGL_VERSION_MAJOR=%s" % version,
             "-DLVGL_VERSION_MINOR=%s" % ("3" if str(version) == "8" else "5"),
             "-DLVGL_VERSION_PATCH=%s" % ("11" if str(version) == "8" else "0"),
             "-DLV_VERSION_CHECK(x,y,z)=(x == LVGL_VERSION_MAJOR && (y < LVGL_VERSION_MINOR || "
             "(y == LVGL_VERSION_MINOR && z <= LVGL_VERSION_PATCH)))", path],
            check=True, capture_output=True, text=True).stdout


def role(name, font):
    """A name of the file as the role it plays."""
    if name == font:
        return "font"
    for r in ROLES:
        if name == r or name.endswith("_" + r):
            return r
    m = re.search(r"(unicode_list|glyph_id_ofs_list)_(\d+)$", name)
    if m:
        return m.group(1) + "_" + m.group(2)
    return name


def value(token, font):
    token = token.strip()
    if re.fullmatch(r"-?(0x[0-9a-fA-F]+|\d+)", token):
        return str(int(token, 0))
    if token.startswith("&"):
        return "&" + role(token[1:].strip(), font)
    return role(token, font)


def items(body, font):
    """The values of an initializer: numbers, or {.field = value} records."""
    out = []
    for record in re.findall(r"\{([^{}]*)\}", body) or [body]:
        fields = [f for f in (x.strip() for x in record.split(",")) if f]
        parts = []
        for f in fields:
            if f.startswith("."):
                k, v = f[1:].split("=", 1)
                k = k.strip()
                v = value(v, font)
                # A field left out is zero, as C has it.
                if k == "cache" or v in ("0", "NULL"):
                    continue
                parts.append("%s=%s" % (k, v))
            else:
                parts.append(value(f, font))
        out.append(" ".join(parts))
    return out


def code_map(tables, lists):
    """Each code of the character maps and its glyph, in code order."""
    out = []
    for t in tables:
        f = dict(x.split("=", 1) for x in t.split())
        start, length, first = (int(f.get(k, "0")) for k in
                                ("range_start", "range_length", "glyph_id_start"))
        codes = lists.get(f.get("unicode_list"))
        ofs = lists.get(f.get("glyph_id_ofs_list"))
        kind = f["type"]
        if kind.endswith("FORMAT0_TINY"):
            out += [(start + i, first + i) for i in range(length)]
        elif kind.endswith("FORMAT0_FULL"):
            out += [(start + i, first + int(o)) for i, o in enumerate(ofs) if i == 0 or int(o)]
        elif kind.endswith("SPARSE_TINY"):
            out += [(start + int(c), first + i) for i, c in enumerate(codes)]
        else:
            out += [(start + int(c), first + int(o)) for c, o in zip(codes, ofs)]
    return ["map %d %d" % m for m in sorted(out)]


def data(path, version):
    text = preprocess(path, version)
    # The font: the one lv_font_t defined here.
    font = re.search(r"lv_font_t\s+(\w+)\s*=", text).group(1)
    lines, tables, lists = [], [], {}
    for m in re.finditer(r"([A-Za-z_]\w*)\s*(\[\s*\])?\s*=\s*(\{.*?\});", text, re.S):
        name, body = m.group(1), m.group(3)[1:-1]
        r = role(name, font)
        if r == "cache":
            continue
        found = items(body, font)
        if str(version) == "8" and (r == "cmaps" or r.startswith(("unicode_list", "glyph_id_ofs"))):
            if r == "cmaps":
                tables = found
            else:
                lists[r] = found[0].split()
            continue
        if str(version) == "8" and r == "dsc":
            found = [" ".join(x for x in found[0].split() if not x.startswith("cmap_num="))]
        for i, item in enumerate(found):
            lines.append("%s[%d] %s" % (r, i, item))
    lines = sorted(lines, key=lambda l: (l.split("[")[0], int(l.split("[")[1].split("]")[0])))
    return lines + code_map(tables, lists)


def digest(path, version):
    return hashlib.sha256("\n".join(data(path, version)).encode()).hexdigest()


def compare(ref, ours, version):
    """(equal, what): "N items", or the first difference."""
    a, b = data(ref, version), data(ours, version)
    if a == b:
        return True, "%d items" % len(a)
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return False, "item %d:\n  %s\n  %s" % (i, x[:300], y[:300])
    return False, "%d and %d items" % (len(a), len(b))


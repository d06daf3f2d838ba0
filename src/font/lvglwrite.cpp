// LvglFont written out: C source for LVGL 9 or 8.3, and the binary font.
#include "lvglfont.h"

#include "bytefields.h"
#include "lvglcompress.h"

namespace zentraq::font {
namespace {

const char* cmapKindName(CmapKind kind) {
    switch (kind) {
    case CmapKind::Format0Full:
        return "LV_FONT_FMT_TXT_CMAP_FORMAT0_FULL";
    case CmapKind::SparseFull:
        return "LV_FONT_FMT_TXT_CMAP_SPARSE_FULL";
    case CmapKind::Format0Tiny:
        return "LV_FONT_FMT_TXT_CMAP_FORMAT0_TINY";
    case CmapKind::SparseTiny:
        return "LV_FONT_FMT_TXT_CMAP_SPARSE_TINY";
    }
    return "";
}

void putU8(QByteArray& b, unsigned v) {
    core::appendLe(b, v, 1);
}
void putU16(QByteArray& b, unsigned v) {
    core::appendLe(b, v, 2);
}
void putU32(QByteArray& b, std::uint32_t v) {
    core::appendLe(b, v, 4);
}
void align4(QByteArray& b) {
    while (b.size() % 4)
        b.append('\0');
}
// A table of the binary font: its size (with these 8 bytes), its label,
// then `body`.
QByteArray table(const char* label, const QByteArray& body) {
    QByteArray t;
    putU32(t, std::uint32_t(8 + body.size()));
    t.append(label, 4);
    t.append(body);
    return t;
}

// "static const TYPE NAME[] = {" and the items of a table of the C source.
template <class T>
void numberTable(TextOut& out, const char* type, const QByteArray& name, const T* data,
                 std::size_t size) {
    out << core::declarationText({"static const", {}, type, core::textView(name)}, "\n");
    out.numbers(data, size);
    out << "};\n\n";
}

} // namespace

void LvglFont::writeC(core::ByteSink& sink) const {
    TextOut out(sink);
    writeCHead(out);
    writeCBitmaps(out);
    writeCGlyphs(out);
    writeCCmaps(out);
    writeCFont(out, writeCKerning(out));
    out.finish();
}

// The header comment, the include, and the checks of LVGL's version and
// build that stop a compiler where the font would be read wrongly.
void LvglFont::writeCHead(TextOut& out) const {
    const QByteArray& n = m_options.name;
    const QByteArray guard = n.toUpper();
    const int v = m_options.version;
    out << "/*******************************************************************************\n";
    for (const QString& line : m_options.comment)
        out << " * " << commentLine(line) << "\n";
    out << " ******************************************************************************/\n\n"
        << "#ifdef LV_LVGL_H_INCLUDE_SIMPLE\n#include \"lvgl.h\"\n#else\n#include \""
        << (m_options.include.isEmpty() ? QByteArray("lvgl/lvgl.h") : m_options.include)
        << "\"\n#endif\n\n";
    out << "#if LVGL_VERSION_MAJOR != " << v << "\n#error \"" << n << " is a font for LVGL " << v
        << "; make it again for LVGL " << (v == 9 ? "8 (--lvgl 8)" : "9 (--lvgl 9)")
        << "\"\n#endif\n\n";
    if (m_large)
        out << "#if LV_FONT_FMT_TXT_LARGE == 0\n#error \"" << n
            << " has glyphs or bitmaps too large for LVGL's small glyph descriptions: set "
               "LV_FONT_FMT_TXT_LARGE to 1 in lv_conf.h\"\n#endif\n\n";
    out << "#ifndef " << guard << "\n#define " << guard << " 1\n#endif\n\n#if " << guard << "\n\n";
}

// Every glyph's bitmap, each from a whole byte.
void LvglFont::writeCBitmaps(TextOut& out) const {
    const QByteArray name = m_options.name + "_glyph_bitmap";
    out << "/* Glyph bitmaps: " << m_bpp << " bits a pixel, "
        << (m_format == 0   ? "rows running on"
            : m_format == 1 ? "each row XOR the row above, run-length coded"
                            : "run-length coded")
        << " */\n"
        << core::declarationText(
               {"static LV_ATTRIBUTE_LARGE_CONST const", {}, "uint8_t", core::textView(name)},
               "\n");
    for (std::size_t i = 0; i < m_set.glyphs.size(); ++i) {
        out << "    /* " << commentLabel(m_set.glyphs[i].code) << " */\n";
        out.hexBytes(m_bitmaps.data() + m_bitmapStart[i], m_bitmapStart[i + 1] - m_bitmapStart[i]);
    }
    if (m_bitmaps.empty())
        out << "    0x00, /* no glyph has ink */\n";
    out << "};\n\n";
}

void LvglFont::writeCGlyphs(TextOut& out) const {
    out << "/* Glyph descriptions: advance in 1/16 pixel, box, offsets from the pen on the base "
           "line */\nstatic const lv_font_fmt_txt_glyph_dsc_t "
        << m_options.name << "_glyph_dsc[] = {\n"
        << "    {.bitmap_index = 0, .adv_w = 0, .box_w = 0, .box_h = 0, .ofs_x = 0, .ofs_y = 0}, "
           "/* id 0 "
           "stands for none */\n";
    for (std::size_t i = 0; i < m_set.glyphs.size(); ++i) {
        const Glyph& g = m_set.glyphs[i];
        out << "    {.bitmap_index = " << (unsigned long)m_bitmapStart[i]
            << ", .adv_w = " << m_advance[i] << ", .box_w = " << g.width
            << ", .box_h = " << g.height << ", .ofs_x = " << g.left
            << ", .ofs_y = " << (g.top - g.height) << "}, /* " << commentLabel(g.code) << " */\n";
    }
    out << "};\n\n";
}

// The lists of the sub-tables that have them, then the sub-tables.
void LvglFont::writeCCmaps(TextOut& out) const {
    const QByteArray& n = m_options.name;
    out << "/* Character maps */\n";
    for (std::size_t t = 0; t < m_cmaps.size(); ++t) {
        const CmapTable& c = m_cmaps[t];
        const char32_t first = m_set.glyphs[c.first].code;
        const QByteArray index = QByteArray::number(qulonglong(t));
        if (c.kind == CmapKind::Format0Full) {
            const char32_t last = m_set.glyphs[c.first + c.count - 1].code;
            std::vector<std::uint8_t> ofs(std::size_t(last - first + 1), 0);
            for (std::uint32_t k = 0; k < c.count; ++k)
                ofs[m_set.glyphs[c.first + k].code - first] = std::uint8_t(k);
            numberTable(out, "uint8_t", n + "_glyph_id_ofs_list_" + index, ofs.data(), ofs.size());
        } else if (c.kind == CmapKind::SparseTiny) {
            std::vector<std::uint32_t> list;
            for (std::uint32_t k = 0; k < c.count; ++k)
                list.push_back(m_set.glyphs[c.first + k].code - first);
            numberTable(out, "uint16_t", n + "_unicode_list_" + index, list.data(), list.size());
        }
    }
    out << "static const lv_font_fmt_txt_cmap_t " << n << "_cmaps[] = {\n";
    for (std::size_t t = 0; t < m_cmaps.size(); ++t) {
        const CmapTable& c = m_cmaps[t];
        const char32_t first = m_set.glyphs[c.first].code;
        const char32_t last = m_set.glyphs[c.first + c.count - 1].code;
        const bool list = c.kind == CmapKind::SparseTiny || c.kind == CmapKind::SparseFull;
        const bool ofs = c.kind == CmapKind::Format0Full || c.kind == CmapKind::SparseFull;
        const QByteArray index = QByteArray::number(qulonglong(t));
        out << "    {.range_start = " << (unsigned long)first
            << ", .range_length = " << (unsigned long)(last - first + 1)
            << ", .glyph_id_start = " << (c.first + 1) << ",\n     .unicode_list = "
            << (list ? n + "_unicode_list_" + index : QByteArray("NULL"))
            << ", .glyph_id_ofs_list = "
            << (ofs ? n + "_glyph_id_ofs_list_" + index : QByteArray("NULL")) << ", .list_length = "
            << (c.kind == CmapKind::Format0Full ? (unsigned long)(last - first + 1)
                : list                          ? (unsigned long)c.count
                                                : 0ul)
            << ", .type = " << cmapKindName(c.kind) << "},\n";
    }
    out << "};\n\n";
}

// Kerning as classes or as pairs; returns the kern_dsc of the font: NULL
// without kerning.
QByteArray LvglFont::writeCKerning(TextOut& out) const {
    const QByteArray& n = m_options.name;
    if (!m_kerned)
        return "NULL";
    if (m_useClasses) {
        out << "/* Kerning: classes of left and right glyphs, 4.4 values scaled by kern_scale */\n";
        numberTable(out, "uint8_t", n + "_kern_left_class_mapping", m_leftClass.data(),
                    m_leftClass.size());
        numberTable(out, "uint8_t", n + "_kern_right_class_mapping", m_rightClass.data(),
                    m_rightClass.size());
        numberTable(out, "int8_t", n + "_kern_class_values", m_classValues.data(),
                    m_classValues.size());
        out << "static const lv_font_fmt_txt_kern_classes_t " << n << "_kern_classes = {\n"
            << "    .class_pair_values = " << n << "_kern_class_values,\n"
            << "    .left_class_mapping = " << n << "_kern_left_class_mapping,\n"
            << "    .right_class_mapping = " << n << "_kern_right_class_mapping,\n"
            << "    .left_class_cnt = " << m_leftClasses << ",\n"
            << "    .right_class_cnt = " << m_rightClasses << ",\n};\n\n";
        return "&" + n + "_kern_classes";
    }
    const bool wide = m_set.glyphs.size() > 255;
    std::vector<std::uint32_t> ids;
    std::vector<std::int8_t> values;
    for (const Pair& p : m_pairs) {
        ids.push_back(p.left);
        ids.push_back(p.right);
        values.push_back(p.value);
    }
    out << "/* Kerning: pairs of left and right glyph ids, 4.4 values scaled by kern_scale */\n";
    numberTable(out, wide ? "uint16_t" : "uint8_t", n + "_kern_pair_glyph_ids", ids.data(),
                ids.size());
    numberTable(out, "int8_t", n + "_kern_pair_values", values.data(), values.size());
    out << "static const lv_font_fmt_txt_kern_pair_t " << n << "_kern_pairs = {\n"
        << "    .glyph_ids = " << n << "_kern_pair_glyph_ids,\n"
        << "    .values = " << n << "_kern_pair_values,\n"
        << "    .pair_cnt = " << (unsigned long)m_pairs.size() << ",\n"
        << "    .glyph_ids_size = " << (wide ? 1 : 0) << ",\n};\n\n";
    return "&" + n + "_kern_pairs";
}

// The font's description and the font.
void LvglFont::writeCFont(TextOut& out, const QByteArray& kernDsc) const {
    const QByteArray& n = m_options.name;
    const int v = m_options.version;
    if (v == 8)
        out << "static lv_font_fmt_txt_glyph_cache_t " << n << "_cache;\n\n";
    out << "static const lv_font_fmt_txt_dsc_t " << n << "_dsc = {\n"
        << "    .glyph_bitmap = " << n << "_glyph_bitmap,\n"
        << "    .glyph_dsc = " << n << "_glyph_dsc,\n"
        << "    .cmaps = " << n << "_cmaps,\n"
        << "    .kern_dsc = " << kernDsc << ",\n"
        << "    .kern_scale = " << m_kernScale << ",\n"
        << "    .cmap_num = " << (unsigned long)m_cmaps.size() << ",\n"
        << "    .bpp = " << m_bpp << ",\n"
        << "    .kern_classes = " << (m_useClasses && m_kerned ? 1 : 0) << ",\n"
        << "    .bitmap_format = " << m_format << ",\n";
    if (v == 8)
        out << "    .cache = &" << n << "_cache,\n";
    out << "};\n\n";

    const QByteArray& fallback = m_options.fallback;
    if (!fallback.isEmpty())
        out << "extern const lv_font_t " << fallback << ";\n\n";
    out << "/* The font: " << lineHeight() << " pixels a line, the base line " << baseLine()
        << " above its bottom */\nconst lv_font_t " << n << " = {\n"
        << "    .get_glyph_dsc = lv_font_get_glyph_dsc_fmt_txt,\n"
        << "    .get_glyph_bitmap = lv_font_get_bitmap_fmt_txt,\n"
        << "    .line_height = " << lineHeight() << ",\n"
        << "    .base_line = " << baseLine() << ",\n"
        << "    .subpx = LV_FONT_SUBPX_NONE,\n"
        << "    .underline_position = " << m_underlinePosition << ",\n"
        << "    .underline_thickness = " << m_underlineThickness << ",\n"
        << "    .dsc = &" << n << "_dsc,\n"
        << "    .fallback = " << (fallback.isEmpty() ? QByteArray("NULL") : "&" + fallback)
        << ",\n";
    if (v == 8)
        out << "#if LV_USE_USER_DATA\n    .user_data = NULL,\n#endif\n";
    else
        out << "    .user_data = NULL,\n";
    out << "};\n\n#endif /* " << m_options.name.toUpper() << " */\n";
}

QByteArray LvglFont::cmapBinary() const {
    QByteArray heads, data;
    const qsizetype headerBytes = 12 + 16 * qsizetype(m_cmaps.size());
    for (const CmapTable& c : m_cmaps) {
        const char32_t first = m_set.glyphs[c.first].code;
        const char32_t last = m_set.glyphs[c.first + c.count - 1].code;
        putU32(heads, std::uint32_t(headerBytes + data.size()));
        putU32(heads, first);
        putU16(heads, unsigned(last - first + 1));
        putU16(heads, c.first + 1);
        const bool sparse = c.kind == CmapKind::SparseTiny || c.kind == CmapKind::SparseFull;
        putU16(heads, sparse ? c.count : unsigned(last - first + 1));
        putU8(heads, unsigned(c.kind));
        putU8(heads, 0);
        if (c.kind == CmapKind::Format0Full) {
            QByteArray ofs(qsizetype(last - first + 1), '\0');
            for (std::uint32_t k = 0; k < c.count; ++k)
                ofs[qsizetype(m_set.glyphs[c.first + k].code - first)] = char(k);
            data.append(ofs);
        } else if (sparse) {
            for (std::uint32_t k = 0; k < c.count; ++k)
                putU16(data, unsigned(m_set.glyphs[c.first + k].code - first));
        }
        align4(data);
    }
    QByteArray body;
    putU32(body, std::uint32_t(m_cmaps.size()));
    return table("cmap", body + heads + data);
}

QByteArray LvglFont::kernBinaryData() const {
    QByteArray d;
    const std::size_t ids = m_set.glyphs.size() + 1;
    if (m_useClasses) {
        putU16(d, unsigned(ids));
        putU8(d, unsigned(m_leftClasses));
        putU8(d, unsigned(m_rightClasses));
        d.append(reinterpret_cast<const char*>(m_leftClass.data()), qsizetype(ids));
        d.append(reinterpret_cast<const char*>(m_rightClass.data()), qsizetype(ids));
        d.append(reinterpret_cast<const char*>(m_classValues.data()),
                 qsizetype(m_classValues.size()));
    } else {
        const bool wide = ids - 1 > 255;
        putU32(d, std::uint32_t(m_pairs.size()));
        for (const Pair& p : m_pairs) {
            if (wide) {
                putU16(d, p.left);
                putU16(d, p.right);
            } else {
                putU8(d, p.left);
                putU8(d, p.right);
            }
        }
        for (const Pair& p : m_pairs)
            putU8(d, std::uint8_t(p.value));
    }
    align4(d);
    return d;
}

void LvglFont::writeBinary(core::ByteSink& sink) const {
    const bool kerning = m_kerned;
    // Every advance in 1/16 pixel, as in the C form, so both draw alike.
    bool monospaced = true;
    int xyBits = 1, whBits = 0, advBits = 0;
    for (std::size_t i = 0; i < m_set.glyphs.size(); ++i) {
        const Glyph& g = m_set.glyphs[i];
        monospaced = monospaced && m_advance[i] == m_advance[0];
        xyBits = std::max({xyBits, signedBits(g.left), signedBits(g.top - g.height)});
        whBits = std::max(
            {whBits, unsignedBits(std::uint32_t(g.width)), unsignedBits(std::uint32_t(g.height))});
        advBits = std::max(advBits, signedBits(std::int32_t(m_advance[i])));
    }
    if (monospaced)
        advBits = 0;

    // Glyph records: advance (unless monospaced), x, y, w, h, then the
    // bitmap's bits; each record from a whole byte. Id 0 has none.
    QByteArray glyf;
    std::vector<std::uint32_t> offsets{8};
    BitWriter record;
    for (std::size_t i = 0; i < m_set.glyphs.size(); ++i) {
        const Glyph& g = m_set.glyphs[i];
        offsets.push_back(std::uint32_t(8 + glyf.size()));
        record.clear();
        if (advBits)
            record.write(m_advance[i], advBits);
        record.write(std::uint32_t(g.left), xyBits);
        record.write(std::uint32_t(g.top - g.height), xyBits);
        record.write(std::uint32_t(g.width), whBits);
        record.write(std::uint32_t(g.height), whBits);
        record.append(m_bitmaps.data() + m_bitmapStart[i], m_bitmapBits[i]);
        glyf.append(reinterpret_cast<const char*>(record.bytes().data()),
                    qsizetype(record.bytes().size()));
    }
    glyf = table("glyf", glyf);
    align4(glyf);
    core::replaceField(glyf, 0, std::uint32_t(glyf.size()), 4, core::ByteOrder::LowFirst);
    const bool wideLoca = glyf.size() > 65535;

    QByteArray loca;
    putU32(loca, std::uint32_t(offsets.size()));
    for (const std::uint32_t o : offsets) {
        if (wideLoca)
            putU32(loca, o);
        else
            putU16(loca, o);
    }
    align4(loca);
    loca = table("loca", loca);

    QByteArray head;
    putU32(head, 1); // version
    putU16(head, kerning ? 4 : 3);
    putU16(head, unsigned(m_set.settings.pixelSize));
    putU16(head, unsigned(m_ascent));
    putU16(head, unsigned(m_descent));
    putU16(head, unsigned(m_typoAscent));
    putU16(head, unsigned(m_typoDescent));
    putU16(head, unsigned(m_typoLineGap));
    putU16(head, unsigned(m_descent)); // min y
    putU16(head, unsigned(m_ascent));  // max y
    putU16(head, monospaced ? m_advance[0] : 0);
    putU16(head, unsigned(m_kernScale));
    putU8(head, wideLoca ? 1 : 0);
    putU8(head, m_set.glyphs.size() > 255 ? 1 : 0);
    putU8(head, 1); // advances in 1/16 pixel
    putU8(head, unsigned(m_bpp));
    putU8(head, unsigned(xyBits));
    putU8(head, unsigned(whBits));
    putU8(head, unsigned(advBits));
    putU8(head, unsigned(m_format));
    putU8(head, 0); // no subpixels
    putU8(head, 0);
    putU16(head, unsigned(m_underlinePosition));
    putU16(head, unsigned(m_underlineThickness));
    head = table("head", head);

    QByteArray all = head + cmapBinary() + loca + glyf;
    if (kerning) {
        QByteArray k;
        putU8(k, m_useClasses ? 3 : 0);
        k.append(3, '\0');
        all += table("kern", k + kernBinaryData());
    }
    sink.write(all.constData(), all.size());
}

} // namespace zentraq::font

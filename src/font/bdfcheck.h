#pragma once

// A BDF font file read as text before FreeType gets it. FreeType's reader
// is lenient: it draws a file cut short as far as it goes, drops bitmap rows
// and columns past a glyph's box and keeps a font box its glyphs do not fit.
// Such a file is damaged, and a font made from it would quietly lose glyphs
// or ink, so it is refused here with one line that says where.
//
// The check also keeps what the file says about itself that FreeType does
// not pass on: its FONT name and COPYRIGHT, and how many glyphs it holds.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace zentraq::font {

struct BdfHeader {
    std::optional<QByteArray> font;      // the FONT line's value
    std::optional<QByteArray> copyright; // the COPYRIGHT property's value, "" unquoted
    long glyphCount = 0;                 // STARTCHAR ... ENDCHAR blocks
};

// Whether `data` is BDF text (it starts with STARTFONT, as FreeType wants).
bool isBdf(QByteArrayView data);

// Reads the BDF text `data`; `label` names it in messages. Throws FontError
// (Failure) for a file that is cut short (no ENDFONT, a glyph without its
// ENDCHAR, with fewer bitmap rows than its BBX is high or a row shorter
// than its width, fewer glyphs than CHARS says), whose glyph is larger than
// its box (bitmap rows past its height, ink past its width) or whose ink
// reaches outside the font's FONTBOUNDINGBOX, or that is not BDF as FreeType
// reads it (a line that is not a hexadecimal row inside a bitmap, a box that
// is missing or negative). A file that passes holds at least a hexadecimal
// digit for every four pixels of its glyphs, so what is drawn from it stays
// in proportion to its size.
BdfHeader checkBdf(QByteArrayView data, const QString& label);

} // namespace zentraq::font

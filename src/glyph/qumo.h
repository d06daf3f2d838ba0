#pragma once

// Text to glyph data: every character of a text drawn alone on the glyph
// canvas, scanned one bit per pixel and written as a line of "0x.." bytes.
// Shared by the window's size buttons and by tools without a window.

#include "glyphcanvas.h"

#include <QString>
#include <QStringView>

#include <array>
#include <vector>

namespace zentraq::glyph {

// The result of one conversion: the data text (one line per character, each
// byte as HexByte text followed by ",", every line ending in CR LF) and the
// number of bytes in it.
struct GlyphData {
    QString text;
    qint64 byteCount = 0;
};

// `text` without its CR LF pairs, removed in one left-to-right pass with exact
// matching; a lone CR or LF stays and is converted like any other character.
QString removeCrLf(QStringView text);

// The characters of `text` in order. A surrogate pair is one character; an
// unpaired surrogate is a character of its own.
std::vector<char32_t> characters(QStringView text);

// Converts `text` at a width x height cell: CR LF pairs removed, then for each
// character the canvas is cleared, the character printed at the origin and
// the canvas scanned (rgbqumo::ScanGlyph, whose buffer GlyphBytes keeps the
// last character). The caller has sized the canvas and set its font. The
// whole text is converted however long it is. Raises the overflow error for a
// cell above 32767 pixels, before anything is drawn.
GlyphData qumo(QStringView text, GlyphCanvas& canvas, qint16 width, qint16 height);

// The six cell sizes of the size buttons. The font size in points is the
// canvas width (as the canvas reports it after resizing) times 3/4 for the
// square Chinese-character cells and times 3/2 for the half-width letter
// cells: in all six three quarters of the cell height.
struct SizePreset {
    qint16 width;
    qint16 height;
    bool square;
    const char16_t* caption;
};

inline constexpr std::array<SizePreset, 6> SizePresets{{
    {12, 12, true, u"12*12汉字"},
    {16, 16, true, u"16*16汉字"},
    {32, 32, true, u"32*32汉字"},
    {6, 12, false, u"6*12字母"},
    {8, 16, false, u"8*16字母"},
    {16, 32, false, u"16*32字母"},
}};

// Font size in points for a canvas `width` pixels wide.
float presetFontSize(int width, bool square);

// What a size button does before converting: the canvas becomes exactly
// width x height, then its font size follows from the width read back.
void prepareCanvas(GlyphCanvas& canvas, qint16 width, qint16 height, bool square);

// The 95 printable ASCII characters, space to "~", in code order.
QString printableAscii();

// The data-size label: "数据大小:" followed by the byte count.
QString dataSizeCaption(qint64 byteCount);

} // namespace zentraq::glyph

#pragma once

// Data as C source: the header comment that records how the data was made,
// the comments that name a glyph's character, and the code-point table of a
// font library. Lines end in CR LF like the data text itself.

#include "packer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace zentraq::core {

// `text` made safe for the inside of a C block comment on one line: nothing
// in it can end the comment early, open another one, continue it onto the
// next line or break the line. Backslashes are doubled, a "/" after a "*" and
// a "*" after a "/" get a backslash in front, control characters become
// \t \n \r or \xHH, and characters that show nothing or rearrange the line
// (format, line and paragraph separators, private-use, unassigned, unpaired
// surrogates) become \uHHHH or \UHHHHHHHH; the lone surrogates U+DC80 to
// U+DCFF, which stand for the bytes of file names that are not UTF-8, become
// \xHH.
QString commentText(QStringView text);

// How a glyph line's comment names its character: "U+0041 'A'", the
// character escaped as for commentText (a quote as \').
QString characterLabel(char32_t cp);

// A C block comment of `lines`, each made safe with commentText: "/*", one
// " * " line each, " */", every line ending in CR LF.
QByteArray headerComment(const QStringList& lines);

// How the header comment describes a layout of samples of 1, 2 or 4 bits
// (glyph data, packed picture data): the scan line and the bit line, which
// for one-bit samples names ink and background.
QStringList layoutLines(const Layout& layout, bool invert);

// A sorted code-point table for firmware's binary search:
// "const uint32_t NAME[N] = { 0x00004E2D, ... };", 8 codes a line.
QByteArray codeTable(const QString& name, const std::vector<char32_t>& codes);

// A C identifier; one that is no C11 or C23 keyword (nor asm) can name an
// array.
bool isCIdentifier(QStringView name);
bool isCKeyword(QStringView name);

} // namespace zentraq::core

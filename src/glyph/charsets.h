#pragma once

// Character sets for fonts and font libraries: the slots of GB2312, GBK and
// ASCII, each at the place firmware computes from the character's code, and
// the distinct characters of a text.

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace zentraq::glyph {

// One slot of a set: a character, or a code the set leaves unassigned.
struct CharsetSlot {
    char32_t cp = 0;
    bool assigned = false;
    int code = -1; // the set's two-byte code (0xB0A1), or -1 for sets without codes
};

struct Charset {
    QString description; // e.g. "gb2312, 87 x 94 slots: GB2312 rows 1-87, cells 1-94"
    QString offset;      // where the glyph of a code lies, B being the bytes of a glyph
    std::vector<CharsetSlot> entries;

    // The assigned characters, in slot order.
    std::vector<char32_t> characters() const;
};

enum class CharsetProblem {
    None,
    NoConverter,  // the system cannot decode the set's codes
    NotUtf8,      // a text that is not UTF-8
    NoCharacters, // a text without a character that a font draws
};

struct CharsetResult {
    Charset charset;
    CharsetProblem problem = CharsetProblem::None;
};

// "gb2312", "gbk", "ascii".
QStringList charsetNames();

// The set of one of charsetNames(): GB2312's 87 x 94 slots (rows 1-87, cells
// 1-94), GBK's 126 x 190 (leads 0x81-0xFE, trails 0x40-0x7E and 0x80-0xFE),
// or ASCII's 95 (0x20-0x7E). A code the set leaves unassigned is a slot
// without a character.
CharsetResult namedCharset(QStringView name);

// The distinct characters of a UTF-8 text, in code-point order; control
// characters (line breaks, tabs) are no glyphs of a font and are left out.
CharsetResult textCharset(QByteArrayView utf8);

} // namespace zentraq::glyph

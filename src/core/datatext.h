#pragma once

// Reading data text back: the byte values of the "0xHH," items the
// conversions write, in any of their text forms.

#include <QByteArray>
#include <QByteArrayView>

namespace zentraq::core {

// Why data text could not be read, and where.
struct DataTextProblem {
    enum Kind {
        None,
        NotUtf8,        // the line is not UTF-8
        OpenComment,    // a /* comment that does not end
        NotHexadecimal, // "0x1G", or "0x" without digits
        LargerThanByte, // 0x100
        NotHexByte,     // a byte written otherwise: 12, 012, a name
        NotData,        // anything else where data or a declaration belongs
    };
    Kind kind = None;
    int line = 0;     // from 1
    QByteArray token; // the offending text, when there is one
};

struct DataText {
    QByteArray bytes;
    DataTextProblem problem;
};

// The bytes of data text as the tool writes it, by hand or in C:
//  - items "0x5", "0x05", "0X0a", separated by commas or white space;
//  - comments (/* */ and //) and #include lines, skipped;
//  - C declarations: the items of an array of unsigned char or uint8_t are
//    data; any other declaration (a uint32_t code table, a struct, a table
//    of pointers to such arrays) is read past without its values.
// Anything else is a problem, and no bytes are read: a number that is no
// byte in hexadecimal, a sign, another directive, a stray word or brace, a
// line that is not UTF-8.
DataText readDataText(QByteArrayView text);

} // namespace zentraq::core

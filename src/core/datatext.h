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
        NotHexadecimal, // "0x1G", or "0x" without digits
        LargerThanByte, // 0x100
    };
    Kind kind = None;
    int line = 0;     // from 1
    QByteArray token; // the offending text
};

struct DataText {
    QByteArray bytes;
    DataTextProblem problem;
};

// The byte values of data text written by hand or by the tool in any of its
// text forms: every "0x"-prefixed hexadecimal number (0x5, 0x05, 0X0A), in
// order. Comments (/* */ and //) and everything that is not such a number
// (commas, braces, declarations, line ends) are skipped. A number that is no
// byte is a problem, and nothing is read.
DataText readDataText(QByteArrayView text);

} // namespace zentraq::core

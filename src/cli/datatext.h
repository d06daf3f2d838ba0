#pragma once

// Reading data text back: the byte values of the "0xHH," items the
// conversions write, in any of the tool's text forms.

#include <QByteArray>
#include <QString>

namespace zentraq::cli {

// The byte values of data text written by hand or by this tool in any of its
// text forms: every "0x"-prefixed hexadecimal number (0x5, 0x05, 0X0A), in
// order. Comments (/* */ and //) and everything that is not such a number
// (commas, braces, declarations, line ends) are skipped. Throws CliError
// (Failure) naming `source` and the line for a number that is not a byte
// (0x100) or a "0x" without digits.
QByteArray parseDataText(const QByteArray& text, const QString& source);

} // namespace zentraq::cli

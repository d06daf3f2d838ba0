#pragma once

// The characters a firmware's own sources show: the string and character
// literals of C and C++ files, the string values of JSON and YAML files
// (translation tables), or the whole text of any other file, so that a font
// holds what the program draws and nothing more.
//
// C and C++ as the compilers' lexers read them: comments and code are
// skipped, as are the header names of #include, #include_next and #import;
// a line ending in a backslash runs on (except within a raw string). The
// literals may carry the prefixes u8, u, U and L, raw strings are read
// (R"x(...)x", with the same prefixes; C++, and GNU C, whose compilers take
// them in C too, as LVGL's own sources use them), and escapes are decoded: \n and the
// other simple ones, octal, \x.., \u.... and \U........; the bytes of a plain
// or u8 literal are read as UTF-8 (the source's own characters encoded so),
// a u literal's units as UTF-16. What decodes to no character (a lone
// surrogate, a byte that starts no UTF-8 sequence) is left out.

#include "charset.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace zentraq::font {

// "c", "c++", "json", "yaml", "text"; nothing for another name.
std::optional<SourceKind> sourceKindNamed(QStringView name);
// "utf-8", "gbk", "gb18030"; nothing for another name.
std::optional<SourceEncoding> sourceEncodingNamed(QStringView name);

// The kind of a file by its name: .c and .h C, .cc .cpp .cxx .hpp .hh .ino
// C++, .json JSON, .yml and .yaml YAML, anything else text.
SourceKind sourceKindOf(const QString& fileName);

// The text of a file's bytes in `encoding` (a UTF-8 byte order mark
// dropped). Throws FontError (Failure) naming `shown` and the line of the
// first bytes that are not of the encoding, or when the system cannot decode
// it.
QString decodeSource(QByteArrayView bytes, SourceEncoding encoding, const QString& shown);

// The decoded contents of every string and character literal of C or C++
// source text, one after another. Both are read alike: GNU C takes raw
// strings as C++ does, and a digit separator (C++14, C23) opens no character
// literal in either. Throws FontError (Failure)
// "FILE:LINE:
// ..." for a literal, raw string or comment left open.
QString cLiterals(QStringView text, const QString& shown);

// Every string value of a JSON or YAML text (keys not included), one after
// another. Throws FontError (Failure) "FILE:LINE: ..." for a syntax error.
QString jsonStrings(const QString& text, const QString& shown);
QString yamlStrings(const QString& text, const QString& shown);

// The characters a --chars-from file brings in, read through `files`, as
// its kind (Guess: by its name) takes them.
QString sourceCharacters(const QString& name, SourceKind kind, SourceEncoding encoding,
                         const SourceFiles& files);

} // namespace zentraq::font

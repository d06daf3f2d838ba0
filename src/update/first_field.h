#pragma once

// Reading the version that the update server publishes in its version file.

#include "services.h"

#include <QByteArrayView>
#include <QString>

namespace zentraq::update {

// The largest version file that is read: as large as a download may be. A
// real version file is a few bytes long; the limit only keeps a
// misconfigured server's huge answer out of memory. Within it the whole file
// is read, so however much white space comes before the version, it is found.
inline constexpr qsizetype kMaxVersionFileBytes = platform::Downloader::kMaxBytes;

// The first field of a version file's content.
//
// The content is text in the ANSI code page 936, decoded as GB18030 (a
// superset that reports bytes it cannot decode). The first field is the text
// from the start up to the first comma or the first line end (CR or LF),
// whichever comes first. A field that starts with a double quote is taken
// without its quotes, and may then hold commas; it ends at the closing quote
// (or at the line end when the quote is never closed), and whatever follows
// it is ignored. The field is trimmed of leading and trailing spaces (only
// U+0020; tabs are kept). Everything after the first field is ignored. A
// UTF-8 byte-order mark at the very start is skipped.
//
// Throws RuntimeError(InputPastEndOfFile) when the content is empty (there is
// no first field to read), and RuntimeError(Other) when the first field holds
// bytes that are not valid GB18030.
QString firstField(QByteArrayView content);

// Reads the first field of the file at `path` (see firstField). Throws
// RuntimeError when the file cannot be opened or read, is empty, or is larger
// than kMaxVersionFileBytes.
QString readFirstField(const QString& path);

} // namespace zentraq::update

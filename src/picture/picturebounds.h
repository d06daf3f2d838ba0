#pragma once

// What a picture file may make its decoder allocate, judged from its headers
// before the decoder sees it. Decoders trust the sizes a file states: a PNG
// chunk that claims 2 GB is allocated (and cleared) in full before the
// decoder finds that the file ends after a few bytes, and a progressive JPEG
// keeps every coefficient of the picture beside the picture itself.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <optional>

namespace zentraq::rgbqumo {

// Why the picture in `file`, of the format `format` (as the image reader
// names it: "png", "ico", "cur", "jpeg", "webp"; other formats are left to
// the checks of picturelayout.h), must not go to its decoder, in words for
// the user; nothing when it may. Refused are:
//  - a part that claims more bytes than follow it: a PNG chunk, also inside
//    the first image of an icon or cursor (which ends where its directory
//    entry says), a RIFF chunk of a WebP file, a JPEG segment before the
//    pixel data;
//  - a JPEG whose decoder keeps all its coefficients (progressive, or its
//    colours in separate scans) when they take more than `budget` bytes;
//    budget 0: no limit.
// Reads the headers only and moves the file's position.
std::optional<QString> decoderOverclaim(QIODevice& file, const QByteArray& format, qint64 budget);

} // namespace zentraq::rgbqumo

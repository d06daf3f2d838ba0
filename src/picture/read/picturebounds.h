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

// What a file claims that its decoder must not be trusted with.
struct DecoderClaim {
    enum class Kind {
        PartTooLong,  // a chunk or segment longer than the bytes after it
        Coefficients, // a JPEG whose coefficients exceed the budget
    };
    Kind kind = Kind::PartTooLong;
    QString format;     // "PNG", "WebP", "JPEG"
    QString part;       // PartTooLong: the chunk's type ("tEXt") or the segment's marker ("FFE1")
    qint64 claimed = 0; // PartTooLong: the bytes the part claims ...
    qint64 left = 0;    // ... and the bytes that follow it
    // Coefficients: the picture, how its scans come, the bytes the
    // coefficients take and the budget.
    int width = 0;
    int height = 0;
    bool progressive = false;
    qint64 bytes = 0;
    qint64 budget = 0;
};

// The claim in the window's words.
QString claimText(const DecoderClaim& claim);

// Why the picture in `file`, of the format `format` (as the image reader
// names it: "png", "ico", "cur", "jpeg", "webp"; other formats are left to
// the checks of picturelayout.h), must not go to its decoder; nothing when it
// may. Refused are:
//  - a part that claims more bytes than follow it: a PNG chunk, also inside
//    the first image of an icon or cursor (which ends where its directory
//    entry says), a RIFF chunk of a WebP file, a JPEG segment before the
//    pixel data;
//  - a JPEG whose decoder keeps all its coefficients (progressive, or its
//    colours in separate scans) when they take more than `budget` bytes;
//    budget 0: no limit.
// Reads the headers only and moves the file's position.
std::optional<DecoderClaim> decoderOverclaim(QIODevice& file, const QByteArray& format,
                                             qint64 budget);

} // namespace zentraq::rgbqumo

#pragma once

// A metafile's bytes to its picture: size at 96 dots per inch, drawn on white
// at that size rounded to whole pixels (halves to even), without
// anti-aliasing. In two steps: prepare() before a QGuiApplication exists,
// draw() with one (fonts).

#include "metafileformat.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <variant>

namespace zentraq::metafile {

struct Failure {
    enum Kind {
        Invalid,  // not a metafile, damaged, or without a size: `problem` says what
        TooLarge, // more than the allowed pixels; width and height say how many
        Memory,   // no memory for the picture
    };
    Kind kind = Invalid;
    Problem problem;
    qint64 width = 0;
    qint64 height = 0;
};

struct Prepared {
    Layout layout;
    // EMF: the records as SVG.
    QByteArray svg;
};

// Checks the records and the size (at most `maxPixels` pixels); for an EMF
// also converts it to SVG, which must happen before Qt's GUI side starts.
std::variant<Prepared, Failure> prepare(const QByteArray& data, qint64 maxPixels);

// Draws the prepared metafile `data` on white.
std::variant<QImage, Failure> draw(const QByteArray& data, const Prepared& prepared);

} // namespace zentraq::metafile

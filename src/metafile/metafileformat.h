#pragma once

// What the headers and the record stream of a metafile say before anything is
// drawn: which kind it is, its size at 96 dots per inch, the rectangle that is
// drawn onto the picture, and whether the records hold together. Nothing here
// draws; the libraries that do are given only streams that passed these checks.

#include <QByteArray>
#include <QRectF>
#include <QString>

#include <variant>

namespace zentraq::metafile {

enum class Kind {
    PlaceableWmf, // WMF behind the 22-byte header with the key 0x9AC6CDD7
    Wmf,          // WMF that starts with its own header
    Emf,
};

// The window of a WMF in logical units (origin and extent, either extent may
// be negative) as it stands at the first record that draws.
struct WmfWindow {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct Layout {
    Kind kind = Kind::Emf;

    // The picture's size at 96 dots per inch in single precision, fraction
    // kept, and the whole pixels it is drawn at: the nearest, halves to the
    // even neighbour. Both at least 1.
    float width = 0;
    float height = 0;
    int pixelWidth = 0;
    int pixelHeight = 0;

    // WMF: the window mapped onto the picture, and the byte offset of the
    // first record that draws (or of the end record when none does).
    WmfWindow window;
    qsizetype firstDrawing = 0;

    // EMF: the frame in the reference device's pixels, mapped onto the picture.
    QRectF frame;
};

// The description of what is wrong, without the file's name.
struct Problem {
    QString description;
};

// The kind of metafile that `data` starts with, judged by its first bytes.
// False when it starts like no metafile.
bool looksLikeMetafile(const QByteArray& data, Kind* kind = nullptr);

// Reads the headers and walks every record. A stream that ends early, whose
// header gives a size, record count or largest record that the records do not
// bear out, or whose records run past its end is a Problem; so is a picture
// without a size or smaller than a pixel.
std::variant<Layout, Problem> inspect(const QByteArray& data);

// A copy of the WMF `data` with a pattern fill of `window` that changes no
// pixel (raster operation D) put in front of the record at `firstDrawing`:
// the player reports it in its own device coordinates, which ties the window
// to the picture however the player maps logical units. The header's size
// and largest record are updated; empty when the window does not fit the
// record's 16-bit fields.
QByteArray withWindowMark(const QByteArray& data, const Layout& layout);

// The whole number a single-precision size is drawn at: the nearest, halves
// to the even neighbour; -1 when beyond int.
qint64 roundedSize(float size);

// The raster operation of the mark: the destination kept as it is.
constexpr quint32 MarkRasterOperation = 0x00AA0029;

} // namespace zentraq::metafile

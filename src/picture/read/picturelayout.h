#pragma once

// What the headers of a picture file say about the file: how long it must be
// for its first picture to be complete, and where an icon keeps its AND mask.
// The picture loader uses it where the decoders themselves stay silent: a
// bitmap cut short is decoded without a word, the missing rows black.

#include <QByteArray>
#include <QIODevice>
#include <QImage>

#include <optional>

namespace zentraq::rgbqumo {

struct PictureLayout {
    // The file must hold at least this many bytes for its first picture to
    // be complete: its headers, tables and every byte of its pixel data (a
    // PNG file up to its closing IEND chunk, which its decoder requires too;
    // a GIF file up to the end of its first picture: the trailer after it
    // closes the file, and without it no pixel is missing). 0 when the format
    // does not tell (JPEG, whose decoder reports a short file itself) or the
    // headers are not understood (the decoder then judges the file).
    qint64 requiredSize = 0;

    // An icon or cursor whose first image is a bitmap of 1, 4, 8 or 24 bits
    // per pixel carries its transparency as an AND mask after the colours:
    // one bit per pixel, rows from the bottom, each row padded to 4 bytes; a
    // set bit is a transparent pixel.
    struct Mask {
        qint64 offset = 0;
        int width = 0;
        int height = 0;
    };
    std::optional<Mask> andMask;
};

// Reads the headers of `file` for the picture format `format` (as the image
// reader names it: "bmp", "ico", "cur", "gif", "png", "tiff", "webp"; any other
// gives an empty layout). Reads at most the headers and tables, never the
// pixel data, and moves the file's position.
PictureLayout inspectPicture(QIODevice& file, const QByteArray& format);

// Makes the pixels of `picture` that the mask marks fully transparent; the
// picture then has an alpha channel. Nothing changes when the mask's size
// differs from the picture's or the mask cannot be read. Throws
// std::bad_alloc when the converted picture cannot be allocated.
void applyAndMask(QImage& picture, QIODevice& file, const PictureLayout::Mask& mask);

} // namespace zentraq::rgbqumo

#pragma once

// Reading picture files for the preview and the conversion.

#include "pictureerror.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace zentraq::rgbqumo {

// Reads the picture in `path` with the image readers available to the
// program (BMP, GIF, JPEG, PNG, ICO, CUR and whatever else is installed); the
// format is taken from the file name and, failing that, from the content.
// Metafiles (WMF, EMF), known by their content, are drawn on white at their
// size at 96 dots per inch (see LoadMetafile and PictureExtent). A
// file with several images (an icon, an animated GIF) gives its first one.
// The picture keeps its transparency: the picture box that receives it
// composites it onto its own background. An icon or cursor of 1 to 24 bits
// per pixel is transparent where its AND mask says so.
//
// Throws RuntimeError when the file is missing, may not be read
// (PermissionDenied) or cannot be opened; PictureError when it cannot be
// read, is not a picture in a readable format, or is incomplete: shorter than
// its headers say, or reported by the decoder as cut short or damaged. Throws
// std::bad_alloc when there is no memory for the picture.
QImage LoadPicture(const QString& path);

// The same for the file open for reading at the descriptor `fd` (it stays
// open, and the caller's); `name` stands for the file, for its format and in
// messages. What the decoders write to standard error while they read is
// kept from it and becomes the error's decoderWords.
QImage LoadPicture(int fd, const QString& name);

// The same for a picture held in memory; `name` stands for the file in
// messages. The format is taken from the content.
QImage LoadPictureData(const QByteArray& data, const QString& name);

} // namespace zentraq::rgbqumo

#pragma once

// Reading picture files for the preview and the conversion.

#include <QImage>
#include <QString>

namespace zentraq::rgbqumo {

// Reads the picture in `path` with the image readers available to the
// program (BMP, GIF, JPEG, PNG, ICO, CUR and whatever else is installed); the
// format is taken from the file name and, failing that, from the content. A
// file with several images (an icon, an animated GIF) gives its first one.
// The picture keeps its transparency: the picture box that receives it
// composites it onto its own background.
//
// Throws RuntimeError when the file is missing or unreadable, or is not a
// picture in a readable format.
QImage LoadPicture(const QString& path);

} // namespace zentraq::rgbqumo

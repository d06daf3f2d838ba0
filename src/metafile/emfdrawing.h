#pragma once

#include "metafileformat.h"

#include <QByteArray>
#include <QImage>

#include <optional>

namespace zentraq::metafile {

// Turns the EMF `data` (checked by inspect()) into SVG with libemf2svg, from
// its EMF records (EMF+ records are skipped). The SVG's units are the
// reference device's pixels, the units of Layout::frame.
//
// The converter looks fonts up with fontconfig and then shuts fontconfig
// down for the whole process, which is fatal to a Qt program that has fonts
// open: call it before the QGuiApplication exists.
std::optional<Problem> emfToSvg(const QByteArray& data, QByteArray& svg);

// Draws `svg` with Qt's SVG renderer onto `picture`, `frame` mapped onto the
// whole picture, without anti-aliasing.
std::optional<Problem> drawSvg(const QByteArray& svg, const QRectF& frame, QImage& picture);

} // namespace zentraq::metafile

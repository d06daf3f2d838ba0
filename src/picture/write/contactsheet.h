#pragma once

// Several frames in one picture, to see an animation's frames at a glance:
// side by side, `columns` a row, a grey line of one pixel between them.

#include <QByteArrayView>
#include <QImage>
#include <QList>
#include <QSize>

namespace zentraq::rgbqumo {

// The sheet's size for `count` frames of `frame` pixels.
QSize contactSheetSize(QSize frame, qsizetype count, int columns);

// The frames, all of one size, on one sheet; a null picture when there is no
// memory for it.
QImage contactSheet(const QList<QImage>& frames, int columns);

} // namespace zentraq::rgbqumo

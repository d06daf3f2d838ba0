#pragma once

// Data read back into a picture, to see what the bytes draw before they go
// into a device: glyph data as the characters side by side, ink black on
// white; picture data in the colours of its pixel format, each level widened
// to 8 bits; an LVGL image of either version laid exactly onto a
// checkerboard of light grey and white, so that its transparent parts show.
// Each enlarged by a whole scale. Several frames of one size (picture
// --frames) show side by side, `columns` to a row.

#include "epaper.h"
#include "lvglformat.h"
#include "picturedata.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <exception>
#include <functional>

namespace zentraq::rgbqumo {

// What the data is and how it is shown.
struct Preview {
    bool binary = false; // the bytes themselves, not data text
    int scale = 1;       // every data pixel as scale x scale pixels
    // Glyph data (cell not empty): cells of this size in this layout,
    // `columns` to a row.
    QSize cell;
    core::Layout layout;
    bool invert = false;
    int columns = 16;
    // Picture data (pictureWidth > 0): rows of that many pixels, pictureHeight
    // of them when given (0: as many as the data holds).
    int pictureWidth = 0;
    int pictureHeight = 0;
    DataSettings picture;
    // Panel data (picture --panel): the panel, asked for when the data is
    // drawn; its planes (picture --planes).
    std::function<epaper::Panel()> panel;
    bool planes = false;
    // An LVGL image ("lvgl": C source, "lvgl-bin": image file), its true
    // colour at this depth.
    QString lvgl;
    lvgl::ColourDepth depth = lvgl::ColourDepth::Depth16;
};

// Why data cannot be shown, in the tool's words, naming the data.
class PreviewError : public std::exception {
public:
    explicit PreviewError(QString message)
        : m_message(std::move(message)), m_what(m_message.toUtf8()) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    QByteArray m_what;
};

// The picture `data` draws (data text unless binary or an LVGL image),
// `source` naming it in messages. Throws PreviewError for data that is not
// what the preview says, holds nothing, or would make a picture larger than
// 32767 pixels a side or 2^28 pixels or than memory holds; RuntimeError for
// other failures.
QImage previewPicture(const QByteArray& data, const Preview& preview, const QString& source);

} // namespace zentraq::rgbqumo

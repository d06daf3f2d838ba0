#pragma once

// A picture in a shape that an embedded GUI library loads as it is: an LVGL
// image (C source or image file, lvglimage.h) or an Arduino array (16-bit
// words or an XBM, arrayforms.h). Beside PictureData, which writes a
// display's raw pixel data, and fed the same way: the decoded picture, fitted
// to the display row by row, through one writer.
//
// LVGL images keep the picture's alpha (fitting included: the canvas around
// a contained picture is transparent) and lay it exactly onto the background
// in the formats that have none. The arrays are opaque, composited onto the
// background as the window's preview composites onto white.

#include "lvglformat.h"
#include "picturedata.h"

#include <QByteArray>
#include <QImage>
#include <QStringList>

#include <memory>

namespace zentraq::rgbqumo {

enum class Shape {
    LvglSource, // C: the data array and lv_image_dsc_t (lv_img_dsc_t)
    LvglFile,   // the image file LVGL loads from a file system
    WordArray,  // const uint16_t NAME[] of rgb565 or bgr565 words
    Xbm,        // mono, NAME_width, NAME_height, NAME_bits[]
};

struct FormSettings {
    Shape shape = Shape::LvglSource;
    lvgl::ImageOptions image; // LVGL: version, format, depth, background, stride, compression
    QByteArray name;          // the C names
    QByteArray attribute;     // in every C declaration; empty for none
};

class PictureForm {
public:
    // `data` gives the fitting, the dithering, and for the arrays the pixel
    // format (rgb565 or bgr565, mono), byte order, threshold and inversion;
    // `form.image.background` is the background of both. Throws RuntimeError
    // when a picture's memory cannot be had, or an LVGL image of its size
    // cannot be made (lvgl::layoutOf).
    PictureForm(QImage picture, const DataSettings& data, const FormSettings& form);
    ~PictureForm();
    PictureForm(const PictureForm&) = delete;
    PictureForm& operator=(const PictureForm&) = delete;

    QSize originalSize() const { return m_original; }
    QSize size() const { return QSize(m_source->width(), m_source->height()); }
    // The data's bytes (an LVGL image's before compression: palette and
    // planes, without the header).
    qint64 bytes() const;

    // The lines of a C header comment that record the settings.
    QStringList describe() const;

    // The whole result into `sink`, the C forms after `comment` (a complete
    // C comment, or nothing); an LVGL source without its includes when
    // `preamble` is false (an image after another). Returns the bytes of its
    // data (an LVGL image's as written, compressed or not).
    qint64 write(core::ByteSink& sink, const QByteArray& comment, bool preamble = true);

private:
    DataSettings m_data;
    FormSettings m_form;
    QImage m_picture;
    QSize m_original;
    std::unique_ptr<core::PixelSource> m_source;
    lvgl::ImageLayout m_layout;
};

} // namespace zentraq::rgbqumo

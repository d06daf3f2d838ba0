#include "pictureforms.h"

#include "arrayforms.h"
#include "imagerows.h"
#include "lvglimage.h"
#include "rgb565.h"

namespace zentraq::rgbqumo {
namespace {

bool isLvgl(Shape s) {
    return s == Shape::LvglSource || s == Shape::LvglFile;
}

QString imageLine(const lvgl::ImageOptions& o) {
    const int bits = lvgl::bitsPerPixel(o.format, o.depth);
    QString line = QStringLiteral("LVGL %1 image, colour format %2 (%3), %4 bit%5 per pixel: %6")
                       .arg(int(o.version))
                       .arg(lvgl::formatName(o.format),
                            QString::fromLatin1(lvgl::formatEnum(o.format, o.version)))
                       .arg(bits)
                       .arg(bits > 1 ? QStringLiteral("s") : QString())
                       .arg(lvgl::formatDescription(o.format, o.depth));
    return line;
}

} // namespace

PictureForm::PictureForm(QImage picture, const DataSettings& data, const FormSettings& form)
    : m_data(data), m_form(form), m_original(picture.size()) {
    m_form.image.background = data.background;
    m_form.image.dither = data.dither;
    Fitting fitting = data.fitting;
    fitting.canvas = data.background;
    if (isLvgl(form.shape)) {
        // Alpha kept, fitted or not.
        m_picture = std::move(picture);
        if (isFitted(fitting))
            m_source = std::make_unique<FittedPixels>(m_picture, fitting, true);
        else
            m_source = std::make_unique<core::AlphaRows>(m_picture);
        m_layout = lvgl::layoutOf(m_form.image, m_source->width(), m_source->height());
        return;
    }
    // The arrays: opaque, as PictureData reads the picture.
    if (isFitted(fitting)) {
        m_picture = core::opaquePicture(std::move(picture), data.background);
        m_source = std::make_unique<FittedPixels>(m_picture, fitting);
    } else {
        m_picture = std::move(picture);
        m_source = std::make_unique<core::ImageRows>(m_picture, data.background);
    }
}

PictureForm::~PictureForm() = default;

qint64 PictureForm::bytes() const {
    const qint64 w = m_source->width(), h = m_source->height();
    switch (m_form.shape) {
    case Shape::LvglSource:
    case Shape::LvglFile:
        return m_layout.rawBytes();
    case Shape::WordArray:
        return w * h * 2;
    case Shape::Xbm:
        return (w + 7) / 8 * h;
    }
    return 0;
}

QStringList PictureForm::describe() const {
    const lvgl::ImageOptions& o = m_form.image;
    QStringList lines;
    Fitting fitting = m_data.fitting;
    fitting.canvas = m_data.background;
    if (isLvgl(m_form.shape)) {
        lines << imageLine(o);
        if (o.version == lvgl::Version::V9)
            lines << QStringLiteral("stride: %1 bytes a row%2")
                         .arg(m_layout.stride)
                         .arg(o.strideAlign > 1
                                  ? QStringLiteral(", rows padded to a multiple of %1 bytes")
                                        .arg(o.strideAlign)
                                  : QString());
        if (o.compression != lvgl::Compression::None)
            lines << QStringLiteral("compression: %1, %2 bytes before")
                         .arg(lvgl::compressionName(o.compression))
                         .arg(m_layout.rawBytes());
        lines << (lvgl::keepsAlpha(o.format)
                      ? QStringLiteral("alpha: kept as the picture has it")
                      : QStringLiteral("alpha: composited exactly onto %1, (c * a + bg * (255 - "
                                       "a) + 127) / 255")
                            .arg(colourName(o.background)));
        if (lvgl::isIndexed(o.format))
            lines << QStringLiteral("palette: %1 colours chosen for the picture (B, G, R, A "
                                    "each), transparent pixels at index 0")
                         .arg(lvgl::paletteSize(o.format));
    } else if (m_form.shape == Shape::WordArray) {
        lines << QStringLiteral("pixel: %1 words%2")
                     .arg(pixelFormatName(m_data.pixel),
                          m_data.highByteFirst
                              ? QStringLiteral(", each word's bytes swapped (high byte first "
                                               "in a little-endian controller's memory)")
                              : QString());
    } else {
        lines << QStringLiteral("XBM: 1 bit per pixel, 1 for ink (luma below %1%2), the first "
                                "pixel of each byte in bit 0, every row starting on a new byte")
                     .arg(m_data.threshold)
                     .arg(m_data.invert ? QStringLiteral(", inverted: ink is the light pixels")
                                        : QString());
    }
    if (!isLvgl(m_form.shape) && (m_data.background & 0xFFFFFF) != 0xFFFFFF)
        lines << QStringLiteral("background: ") + colourName(m_data.background) +
                     QStringLiteral(" under transparent parts");
    lines << ditherLine(m_data.dither) << fittingLine(fitting, m_original);
    return lines;
}

qint64 PictureForm::write(core::ByteSink& sink, const QByteArray& comment, bool preamble) {
    switch (m_form.shape) {
    case Shape::LvglSource:
        return lvgl::writeImageSource(*m_source, m_form.image,
                                      {m_form.name, m_form.attribute, comment, preamble}, sink);
    case Shape::LvglFile:
        return lvgl::writeImageFile(*m_source, m_form.image, sink);
    case Shape::WordArray: {
        const int width = m_source->width();
        std::unique_ptr<core::SampleEncoder> encoder;
        if (m_data.pixel == PixelFormat::Rgb565 && m_data.dither == DitherMode::None)
            encoder = std::make_unique<Rgb565Words>();
        else
            encoder = std::make_unique<RowQuantiser>(m_data.pixel, m_data.dither, width);
        return writeWordArray(*m_source, *encoder, m_data.highByteFirst,
                              {m_form.name, m_form.attribute, comment}, sink);
    }
    case Shape::Xbm: {
        RowQuantiser mono(PixelFormat::Mono, m_data.dither, m_source->width(), m_data.invert,
                          m_data.threshold);
        return writeXbm(*m_source, mono, {m_form.name, m_form.attribute, comment}, sink);
    }
    }
    return 0;
}

} // namespace zentraq::rgbqumo

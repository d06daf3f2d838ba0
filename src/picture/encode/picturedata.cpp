#include "picturedata.h"

#include "csource.h"
#include "imagerows.h"
#include "rgb565.h"

#include <algorithm>
#include <climits>

namespace zentraq::rgbqumo {
namespace {

// "rgb565, 2 bytes per pixel: a 16-bit word of ..., low byte first".
QString pixelLine(const DataSettings& s) {
    const PixelFormatInfo& f = pixelFormatInfo(s.pixel);
    QString line =
        QString::fromLatin1(f.name) + QStringLiteral(", ") +
        (f.bits >= 8
             ? QStringLiteral("%1 byte%2 per pixel")
                   .arg(QString::number(f.bits / 8), f.bits > 8 ? QStringLiteral("s") : QString())
             : QStringLiteral("%1 bit%2 per pixel")
                   .arg(QString::number(f.bits), f.bits > 1 ? QStringLiteral("s") : QString())) +
        QStringLiteral(": ") + QLatin1String(f.description);
    if (f.bits == 16)
        line += s.highByteFirst ? QStringLiteral(", high byte first")
                                : QStringLiteral(", low byte first");
    if (s.pixel == PixelFormat::Mono)
        line += QStringLiteral("; threshold %1").arg(s.threshold);
    else if (f.grey)
        line += s.invert ? QStringLiteral(", 0 white") : QStringLiteral(", 0 black");
    return line;
}

} // namespace

QString colourName(QRgb colour) {
    colour &= 0xFFFFFF;
    if (colour == 0xFFFFFF)
        return QStringLiteral("white");
    if (colour == 0)
        return QStringLiteral("black");
    return QStringLiteral("#%1").arg(colour, 6, 16, QLatin1Char('0')).toUpper();
}

QString ditherLine(DitherMode mode) {
    switch (mode) {
    case DitherMode::None:
        return QStringLiteral("dither: none");
    case DitherMode::FloydSteinberg:
        return QStringLiteral("dither: floyd-steinberg (7/16, 3/16, 5/16, 1/16; every row from "
                              "the left)");
    case DitherMode::Bayer4:
        return QStringLiteral("dither: bayer4 (the 4x4 ordered matrix)");
    }
    return {};
}

QString fittingLine(const Fitting& f, QSize original) {
    if (!isFitted(f))
        return QStringLiteral("fitting: none, the picture's own size");
    QStringList steps;
    if (f.rotation != Rotation::None)
        steps << (f.rotation == Rotation::Clockwise90
                      ? QStringLiteral("turned 90 degrees clockwise")
                  : f.rotation == Rotation::Clockwise180
                      ? QStringLiteral("turned 180 degrees")
                      : QStringLiteral("turned 270 degrees clockwise"));
    if (f.flipHorizontal)
        steps << QStringLiteral("mirrored left to right");
    if (f.flipVertical)
        steps << QStringLiteral("mirrored top to bottom");
    if (f.resize.isValid()) {
        const QString how =
            f.fit == Fit::Contain
                ? QStringLiteral("contain: the whole picture centred on ") + colourName(f.canvas)
            : f.fit == Fit::Cover ? QStringLiteral("cover: filled, the edges cut off")
                                  : QStringLiteral("stretch: the shape not kept");
        steps << QStringLiteral("scaled to %1*%2 (%3)")
                     .arg(QString::number(f.resize.width()), QString::number(f.resize.height()),
                          how);
    }
    return QStringLiteral("fitting: from %1*%2 pixels, %3")
        .arg(QString::number(original.width()), QString::number(original.height()),
             steps.join(QStringLiteral(", then ")));
}

core::Layout dataLayout(const DataSettings& s) {
    core::Layout layout = s.layout;
    layout.bits = bitsPerSample(s.pixel);
    layout.byteOrder = s.highByteFirst || layout.bits == 24 ? core::ByteOrder::HighFirst
                                                            : core::ByteOrder::LowFirst;
    return layout;
}

bool isFitted(const Fitting& f) {
    return f.rotation != Rotation::None || f.flipHorizontal || f.flipVertical || f.resize.isValid();
}

PictureData::PictureData(QImage picture, const DataSettings& s)
    : m_settings(s), m_original(picture.size()), m_layout(dataLayout(s)) {
    // Without fitting the rows come straight from the decoded picture, as the
    // window's preview box shows it. Fitting reads the picture out of order
    // (a quarter turn reads columns), so it is made opaque first, in place.
    if (isFitted(s.fitting)) {
        m_picture = core::opaquePicture(std::move(picture), s.background);
        Fitting fitting = s.fitting;
        fitting.canvas = s.background;
        m_source = std::make_unique<FittedPixels>(m_picture, fitting);
    } else {
        m_picture = std::move(picture);
        m_source = std::make_unique<core::ImageRows>(m_picture, s.background);
    }
    // The window's own encoder for its own format, with its checks; the row
    // quantiser for everything else.
    if (s.pixel == PixelFormat::Rgb565 && s.dither == DitherMode::None)
        m_encoder = std::make_unique<Rgb565Words>();
    else
        m_encoder = std::make_unique<RowQuantiser>(s.pixel, s.dither, m_source->width(), s.invert,
                                                   s.threshold);
}

PictureData::~PictureData() = default;

qint64 PictureData::bytes() const {
    return core::frameBytes(m_layout, std::max(m_source->width(), 1),
                            std::max(m_source->height(), 1));
}

QStringList PictureData::describe() const {
    const DataSettings& s = m_settings;
    Fitting fitting = s.fitting;
    fitting.canvas = s.background;
    QStringList lines{QStringLiteral("pixel: ") + pixelLine(s), ditherLine(s.dither),
                      fittingLine(fitting, m_original)};
    if ((s.background & 0xFFFFFF) != 0xFFFFFF)
        lines << QStringLiteral("background: ") + colourName(s.background) +
                     QStringLiteral(" under transparent parts");
    if (m_layout.bits < 8)
        lines << core::layoutLines(m_layout, s.invert);
    else
        lines << QStringLiteral("scan: rows from the top, each row from the left");
    if (m_layout.bits == 16)
        lines << (s.highByteFirst
                      ? QStringLiteral(
                            "(a controller that takes the high byte first, or a big-endian one, "
                            "reads the array as unsigned short words)")
                      : QStringLiteral("(a little-endian controller reads the array as unsigned "
                                       "short words once it is aligned to 2 bytes)"));
    return lines;
}

void PictureData::write(core::Formatter& out) {
    core::Pipeline(*m_encoder, m_layout, m_source->width(), m_source->height(), &out)
        .frame(*m_source);
}

HeightsHeld heightsHeld(const core::Layout& layout, int width, qint64 bytes) {
    // frameBytes grows with the height, by at least a byte for every
    // 8 / bits rows.
    if (core::frameBytes(layout, width, 1) > bytes)
        return {};
    qint64 low = 1, high = std::min<qint64>(bytes * 8 / layout.bits + 1, INT_MAX);
    while (low < high) {
        const qint64 mid = (low + high + 1) / 2;
        if (core::frameBytes(layout, width, int(mid)) <= bytes)
            low = mid;
        else
            high = mid - 1;
    }
    if (core::frameBytes(layout, width, int(low)) != bytes)
        return {};
    HeightsHeld held{int(low), int(low)};
    while (held.lowest > 1 && core::frameBytes(layout, width, held.lowest - 1) == bytes)
        --held.lowest;
    return held;
}

QImage dataPicture(const QByteArray& bytes, const DataSettings& s, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    std::vector<std::uint32_t> samples;
    core::unpackFrame(dataLayout(s), size.width(), size.height(),
                      reinterpret_cast<const std::uint8_t*>(bytes.constData()), samples);
    const std::uint32_t* sample = samples.data();
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            row[x] = sampleToRgb(s.pixel, *sample++, s.invert);
    }
    return image;
}

} // namespace zentraq::rgbqumo

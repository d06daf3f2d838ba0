#include "pictureforms.h"

#include "arrayforms.h"
#include "csource.h"
#include "imagerows.h"
#include "lvglimage.h"
#include "lvglraw.h"
#include "rgb565.h"

#include <cstring>

namespace zentraq::rgbqumo {
namespace {

template <class Names> bool among(const char* option, const Names& names) {
    for (const char* n : names)
        if (std::strcmp(option, n) == 0)
            return true;
    return false;
}
bool among(const char* option, std::initializer_list<const char*> names) {
    return among<std::initializer_list<const char*>>(option, names);
}

Fitting fittingOf(const DataSettings& data) {
    Fitting fitting = data.fitting;
    fitting.canvas = data.background;
    return fitting;
}

QString imageLine(const lvgl::ImageOptions& o) {
    const int bits = lvgl::bitsPerPixel(o.format, o.depth);
    return QStringLiteral("LVGL %1 image, colour format %2 (%3), %4 bit%5 per pixel: %6")
        .arg(int(o.version))
        .arg(lvgl::formatName(o.format), QString::fromLatin1(lvgl::formatEnum(o.format, o.version)))
        .arg(bits)
        .arg(bits > 1 ? QStringLiteral("s") : QString())
        .arg(lvgl::formatDescription(o.format, o.depth));
}

class LvglImageResult : public FormResult {
public:
    LvglImageResult(PictureSource source, const PictureSettings& s, bool file)
        : FormResult(std::move(source), s, true), m_file(file) {
        m_settings.image.background = s.data.background;
        m_settings.image.dither = s.data.dither;
        m_layout = lvgl::layoutOf(m_settings.image, m_source->width(), m_source->height());
        m_cForm = !file;
    }
    qint64 bytes() const override { return m_layout.rawBytes(); }

private:
    QStringList shapeLines() const override {
        const lvgl::ImageOptions& o = m_settings.image;
        QStringList lines{imageLine(o)};
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
        return lines;
    }
    qint64 writeShape(core::ByteSink& sink, const QByteArray& comment, bool preamble) override {
        if (m_file)
            return lvgl::writeImageFile(*m_source, m_settings.image, sink);
        return lvgl::writeImageSource(*m_source, m_settings.image,
                                      {m_settings.name, m_settings.attribute, comment, preamble},
                                      sink);
    }

    bool m_file;
    lvgl::ImageLayout m_layout;
};

// --cf raw and raw-alpha: the picture file as it is, in LVGL's descriptor
// or behind its file header.
class RawImageResult : public PictureResult {
public:
    RawImageResult(PictureSource source, const PictureSettings& s, bool file)
        : m_size(source.picture.size()), m_name(std::move(source.name)),
          m_file(std::move(source.file)), m_settings(s), m_fileForm(file) {}
    QSize size() const override { return m_size; }
    qint64 bytes() const override { return m_file.size(); }
    QStringList describe() const override {
        return QStringList{QStringLiteral("Picture made by zentraq-cli: %1, %2*%3 pixels, %4 bytes "
                                          "of data")
                               .arg(m_name, QString::number(m_size.width()),
                                    QString::number(m_size.height()),
                                    QString::number(m_file.size()))} +
               details();
    }
    QStringList details() const override { return {lvgl::rawLine(m_settings.image)}; }
    long long write(core::ByteSink& sink) override {
        return writeFrame(sink, m_fileForm ? QByteArray() : core::headerComment(describe()), true);
    }
    qint64 writeFrame(core::ByteSink& sink, const QByteArray& comment, bool) override {
        if (m_fileForm)
            return lvgl::writeRawFile(m_file, m_settings.image, sink);
        return lvgl::writeRawSource(m_file, m_settings.image,
                                    {m_settings.name, m_settings.attribute, comment}, sink);
    }

private:
    QSize m_size;
    QString m_name;
    QByteArray m_file;
    PictureSettings m_settings;
    bool m_fileForm;
};

class WordArrayResult : public FormResult {
public:
    WordArrayResult(PictureSource source, const PictureSettings& s)
        : FormResult(std::move(source), s, false) {}
    qint64 bytes() const override { return qint64(size().width()) * size().height() * 2; }

private:
    QStringList shapeLines() const override {
        const DataSettings& d = m_settings.data;
        return {QStringLiteral("pixel: %1 words%2")
                    .arg(pixelFormatName(d.pixel),
                         d.highByteFirst ? QStringLiteral(", each word's bytes swapped (high byte "
                                                          "first in a little-endian controller's "
                                                          "memory)")
                                         : QString())};
    }
    qint64 writeShape(core::ByteSink& sink, const QByteArray& comment, bool) override {
        const DataSettings& d = m_settings.data;
        std::unique_ptr<core::SampleEncoder> encoder;
        if (d.pixel == PixelFormat::Rgb565 && d.dither == DitherMode::None)
            encoder = std::make_unique<Rgb565Words>();
        else
            encoder = std::make_unique<RowQuantiser>(d.pixel, d.dither, m_source->width());
        return writeWordArray(*m_source, *encoder, d.highByteFirst,
                              {m_settings.name, m_settings.attribute, comment}, sink);
    }
};

class XbmResult : public FormResult {
public:
    XbmResult(PictureSource source, const PictureSettings& s)
        : FormResult(std::move(source), s, false) {}
    qint64 bytes() const override { return (qint64(size().width()) + 7) / 8 * size().height(); }

private:
    QStringList shapeLines() const override {
        const DataSettings& d = m_settings.data;
        return {
            QStringLiteral("XBM: 1 bit per pixel, 1 for ink (luma below %1%2), the first "
                           "pixel of each byte in bit 0, every row starting on a new byte")
                .arg(d.threshold)
                .arg(d.invert ? QStringLiteral(", inverted: ink is the light pixels") : QString())};
    }
    qint64 writeShape(core::ByteSink& sink, const QByteArray& comment, bool) override {
        const DataSettings& d = m_settings.data;
        RowQuantiser mono(PixelFormat::Mono, d.dither, m_source->width(), d.invert, d.threshold);
        return writeXbm(*m_source, mono, {m_settings.name, m_settings.attribute, comment}, sink);
    }
};

} // namespace

FormResult::FormResult(PictureSource source, const PictureSettings& settings, bool keepAlpha)
    : m_settings(settings), m_name(std::move(source.name)), m_original(source.picture.size()),
      m_opaque(!keepAlpha) {
    const Fitting fitting = fittingOf(settings.data);
    const QRgb background = settings.data.background;
    if (keepAlpha) {
        m_picture = std::move(source.picture);
        if (isFitted(fitting))
            m_source = std::make_unique<FittedPixels>(m_picture, fitting, true);
        else
            m_source = std::make_unique<core::AlphaRows>(m_picture);
    } else if (isFitted(fitting)) {
        // Opaque, as PictureData reads the picture.
        m_picture = core::opaquePicture(std::move(source.picture), background);
        m_source = std::make_unique<FittedPixels>(m_picture, fitting);
    } else {
        m_picture = std::move(source.picture);
        m_source = std::make_unique<core::ImageRows>(m_picture, background);
    }
}

FormResult::~FormResult() = default;

QSize FormResult::size() const {
    return QSize(m_source->width(), m_source->height());
}

QStringList FormResult::describe() const {
    return QStringList{QStringLiteral("Picture made by zentraq-cli: %1, %2*%3 pixels, %4 bytes of "
                                      "data")
                           .arg(m_name, QString::number(size().width()),
                                QString::number(size().height()), QString::number(bytes()))} +
           details();
}

QStringList FormResult::details() const {
    QStringList lines = shapeLines();
    const DataSettings& d = m_settings.data;
    if (m_opaque && (d.background & 0xFFFFFF) != 0xFFFFFF)
        lines << QStringLiteral("background: ") + colourName(d.background) +
                     QStringLiteral(" under transparent parts");
    return lines << ditherLine(d.dither) << fittingLine(fittingOf(d), m_original);
}

long long FormResult::write(core::ByteSink& sink) {
    return writeShape(sink, m_cForm ? core::headerComment(describe()) : QByteArray(), true);
}

qint64 FormResult::writeFrame(core::ByteSink& sink, const QByteArray& comment, bool preamble) {
    return writeShape(sink, comment, preamble);
}

const char* LvglImageWriter::name() const {
    return m_file ? "lvgl-bin" : "lvgl";
}

const char* LvglImageWriter::summary() const {
    return m_file ? "the image file LVGL loads from a file system"
                  : "C source of an LVGL image descriptor";
}

bool LvglImageWriter::takes(const char* option) const {
    return among(option, LvglOptionNames) || (!m_file && among(option, {"name", "attribute"}));
}

void LvglImageWriter::check(PictureSettings& s, const core::Options& options) const {
    for (const char* rawOnly : PixelOptionNames)
        if (options.isSet(rawOnly))
            options.refuse(
                QStringLiteral("--%1 is for the raw pixel formats; LVGL images take --cf")
                    .arg(QLatin1String(rawOnly)));
    lvgl::ImageOptions& i = s.image;
    if (const QString v = options.value("lvgl"); !v.isEmpty()) {
        if (v != u"8" && v != u"9")
            options.refuseValue("lvgl", QStringLiteral("9 or 8"));
        i.version = v == u"8" ? lvgl::Version::V8 : lvgl::Version::V9;
    }
    i.format = i.version == lvgl::Version::V9 ? lvgl::ColourFormat::Argb8888
                                              : lvgl::ColourFormat::TrueColorAlpha;
    if (const QString cf = options.value("cf"); !cf.isEmpty()) {
        const auto format = lvgl::parseFormat(cf);
        if (!format)
            options.refuseValue("cf", lvglFormatHelp());
        i.format = *format;
    }
    if (const QString d = options.value("color-depth"); !d.isEmpty()) {
        const auto depth = lvgl::parseDepth(d);
        if (!depth)
            options.refuseValue("color-depth", QStringLiteral("16, 16-swap or 32"));
        if (i.version != lvgl::Version::V8)
            options.refuse(QStringLiteral("--color-depth is for LVGL 8 (--lvgl 8); LVGL 9 names "
                                          "its colour format with --cf"));
        i.depth = *depth;
    }
    if (options.isSet("stride-align"))
        i.strideAlign = options.count("stride-align", 1, 65536);
    if (const QString c = options.value("compress"); !c.isEmpty()) {
        const auto compression = lvgl::parseCompression(c);
        if (!compression)
            options.refuseValue("compress", QStringLiteral("none, rle or lz4"));
        i.compression = *compression;
    }
    i.dither = s.data.dither;
    i.premultiply = options.isSet("premultiply");
    if (const QString problem = lvgl::optionsProblem(i); !problem.isEmpty())
        options.refuse(problem);
    if (lvgl::isRaw(i.format))
        for (const char* pixelOption : {"rotate", "flip", "resize", "fit", "background"})
            if (options.isSet(pixelOption))
                options.refuse(QStringLiteral("--%1: --cf %2 keeps the picture file as it is")
                                   .arg(QLatin1String(pixelOption), lvgl::formatName(i.format)));
}

bool LvglImageWriter::keepsFile(const PictureSettings& settings) const {
    return lvgl::isRaw(settings.image.format);
}

std::unique_ptr<PictureResult> LvglImageWriter::make(PictureSource source,
                                                     const PictureSettings& settings) const {
    if (keepsFile(settings))
        return std::make_unique<RawImageResult>(std::move(source), settings, m_file);
    return std::make_unique<LvglImageResult>(std::move(source), settings, m_file);
}

const char* WordArrayWriter::summary() const {
    return "'const uint16_t NAME[]' of rgb565 (or bgr565) words for pushImage and drawRGBBitmap";
}

bool WordArrayWriter::takes(const char* option) const {
    return among(option, PixelOptionNames) || among(option, {"name", "attribute"});
}

void WordArrayWriter::check(PictureSettings& s, const core::Options& options) const {
    if (bitsPerSample(s.data.pixel) != 16)
        options.refuse(QStringLiteral("--format c16 is for the 16-bit formats rgb565 and bgr565, "
                                      "not %1")
                           .arg(pixelFormatName(s.data.pixel)));
}

std::unique_ptr<PictureResult> WordArrayWriter::make(PictureSource source,
                                                     const PictureSettings& settings) const {
    return std::make_unique<WordArrayResult>(std::move(source), settings);
}

const char* XbmWriter::summary() const {
    return "an XBM of mono pixels for drawXBitmap and drawXBM";
}

bool XbmWriter::takes(const char* option) const {
    return among(option, PixelOptionNames) || among(option, {"name", "attribute"});
}

void XbmWriter::check(PictureSettings& s, const core::Options& options) const {
    if (s.data.pixel != PixelFormat::Mono)
        options.refuse(QStringLiteral("--format xbm is for mono pixels, not %1")
                           .arg(pixelFormatName(s.data.pixel)));
    for (const char* layoutOption : {"scan", "pad", "msb-first"})
        if (options.isSet(layoutOption))
            options.refuse(QStringLiteral("--%1: an XBM's rows start on a new byte, the first "
                                          "pixel in bit 0")
                               .arg(QLatin1String(layoutOption)));
}

std::unique_ptr<PictureResult> XbmWriter::make(PictureSource source,
                                               const PictureSettings& settings) const {
    return std::make_unique<XbmResult>(std::move(source), settings);
}

} // namespace zentraq::rgbqumo

#include "lvglformat.h"

#include "runtime_error.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace zentraq::lvgl {
namespace {

struct FormatInfo {
    ColourFormat format;
    const char* name;
    int v9Id; // 0: not in version 9
    int v8Id; // 0: not in version 8
    const char* v9Enum;
    const char* v8Enum;
    int bits; // per pixel of the main plane (true-colour formats: at depth 16)
    int palette;
    bool alphaOnly;
    bool keepsAlpha;
    const char* description;
};

constexpr FormatInfo Formats[] = {
    {ColourFormat::Rgb565, "rgb565", 0x12, 0, "RGB565", nullptr, 16, 0, false, false,
     "a 16-bit word of red (bits 15-11), green (10-5) and blue (4-0), low byte first"},
    {ColourFormat::Rgb565Swapped, "rgb565-swapped", 0x1B, 0, "RGB565_SWAPPED", nullptr, 16, 0,
     false, false, "the rgb565 word, high byte first"},
    {ColourFormat::Rgb565A8, "rgb565a8", 0x14, 0, "RGB565A8", nullptr, 16, 0, false, true,
     "a plane of rgb565 words (low byte first), then a plane of alpha bytes"},
    {ColourFormat::Argb8565, "argb8565", 0x13, 0, "ARGB8565", nullptr, 24, 0, false, true,
     "the rgb565 word (low byte first), then the alpha byte"},
    {ColourFormat::Rgb888, "rgb888", 0x0F, 0, "RGB888", nullptr, 24, 0, false, false,
     "bytes blue, green, red"},
    {ColourFormat::Xrgb8888, "xrgb8888", 0x11, 0, "XRGB8888", nullptr, 32, 0, false, false,
     "bytes blue, green, red, 0xFF"},
    {ColourFormat::Argb8888, "argb8888", 0x10, 0, "ARGB8888", nullptr, 32, 0, false, true,
     "bytes blue, green, red, alpha"},
    {ColourFormat::Argb8888Premultiplied, "argb8888-premultiplied", 0x1A, 0,
     "ARGB8888_PREMULTIPLIED", nullptr, 32, 0, false, true,
     "bytes blue, green, red (each times alpha / 255, truncated), alpha"},
    {ColourFormat::L8, "l8", 0x06, 0, "L8", nullptr, 8, 0, false, false,
     "one byte of luma (0.2126 R + 0.7152 G + 0.0722 B in linear light)"},
    {ColourFormat::Al88, "al88", 0x15, 0, "AL88", nullptr, 16, 0, false, true,
     "a byte of luma (as l8, truncated), then the alpha byte"},
    {ColourFormat::TrueColor, "true-color", 0, 4, nullptr, "TRUE_COLOR", 16, 0, false, false,
     nullptr},
    {ColourFormat::TrueColorAlpha, "true-color-alpha", 0, 5, nullptr, "TRUE_COLOR_ALPHA", 24, 0,
     false, true, nullptr},
    {ColourFormat::A1, "a1", 0x0B, 11, "A1", "ALPHA_1BIT", 1, 0, true, true,
     "the alpha's top bit, 8 pixels a byte from bit 7"},
    {ColourFormat::A2, "a2", 0x0C, 12, "A2", "ALPHA_2BIT", 2, 0, true, true,
     "the alpha's top 2 bits, 4 pixels a byte from bit 7"},
    {ColourFormat::A4, "a4", 0x0D, 13, "A4", "ALPHA_4BIT", 4, 0, true, true,
     "the alpha's top 4 bits, 2 pixels a byte from bit 7"},
    {ColourFormat::A8, "a8", 0x0E, 14, "A8", "ALPHA_8BIT", 8, 0, true, true, "one byte of alpha"},
    {ColourFormat::I1, "i1", 0x07, 7, "I1", "INDEXED_1BIT", 1, 2, false, true,
     "a palette of 2 colours, then 1-bit indices, 8 a byte from bit 7"},
    {ColourFormat::I2, "i2", 0x08, 8, "I2", "INDEXED_2BIT", 2, 4, false, true,
     "a palette of 4 colours, then 2-bit indices, 4 a byte from bit 7"},
    {ColourFormat::I4, "i4", 0x09, 9, "I4", "INDEXED_4BIT", 4, 16, false, true,
     "a palette of 16 colours, then 4-bit indices, 2 a byte from bit 7"},
    {ColourFormat::I8, "i8", 0x0A, 10, "I8", "INDEXED_8BIT", 8, 256, false, true,
     "a palette of 256 colours, then one index byte a pixel"},
    {ColourFormat::Raw, "raw", 0x01, 1, "RAW", "RAW", 0, 0, false, true,
     "the picture file as it is, for LVGL's PNG, JPEG and GIF decoders"},
    {ColourFormat::RawAlpha, "raw-alpha", 0x02, 2, "RAW_ALPHA", "RAW_ALPHA", 0, 0, false, true,
     "the picture file as it is, drawn with its alpha"},
};

const FormatInfo& infoOf(ColourFormat format) {
    for (const FormatInfo& f : Formats)
        if (f.format == format)
            return f;
    throw std::invalid_argument("unknown colour format");
}

struct Named {
    int value;
    const char* name;
};

constexpr Named Depths[] = {{int(ColourDepth::Depth16), "16"},
                            {int(ColourDepth::Depth16Swapped), "16-swap"},
                            {int(ColourDepth::Depth32), "32"}};
constexpr Named Compressions[] = {{int(Compression::None), "none"},
                                  {int(Compression::Rle), "rle"},
                                  {int(Compression::Lz4), "lz4"}};

template <class T, std::size_t N>
std::optional<T> parseNamed(const Named (&table)[N], QStringView s) {
    for (const Named& n : table)
        if (s == QLatin1StringView(n.name))
            return T(n.value);
    return std::nullopt;
}

template <std::size_t N> QString nameOf(const Named (&table)[N], int value) {
    for (const Named& n : table)
        if (n.value == value)
            return QString::fromLatin1(n.name);
    return {};
}

// sRGB <-> linear light, in 1 / 2^24 of full scale: the linear value of
// every 8-bit level, and of every boundary half-way between two levels.
struct LumaTables {
    std::array<std::int64_t, 256> linear{};
    std::array<std::int64_t, 255> boundary{}; // between level k and k + 1
    LumaTables() {
        auto toLinear = [](double x) {
            return x < 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
        };
        constexpr double Scale = 16777216.0;
        for (int v = 0; v < 256; ++v)
            linear[std::size_t(v)] = std::llround(toLinear(v / 255.0) * Scale);
        for (int k = 0; k < 255; ++k)
            boundary[std::size_t(k)] = std::llround(toLinear((k + 0.5) / 255.0) * Scale) * 10000;
    }
};

} // namespace

QString formatName(ColourFormat format) {
    return QString::fromLatin1(infoOf(format).name);
}

std::optional<ColourFormat> parseFormat(QStringView name) {
    for (const FormatInfo& f : Formats)
        if (name == QLatin1StringView(f.name))
            return f.format;
    return std::nullopt;
}

bool belongsTo(ColourFormat format, Version version) {
    const FormatInfo& f = infoOf(format);
    return version == Version::V9 ? f.v9Id != 0 : f.v8Id != 0;
}

QList<ColourFormat> formatsOf(Version version) {
    QList<ColourFormat> list;
    for (const FormatInfo& f : Formats)
        if (belongsTo(f.format, version))
            list << f.format;
    return list;
}

QStringList formatNames(Version version) {
    QStringList names;
    for (ColourFormat f : formatsOf(version))
        names << formatName(f);
    return names;
}

QString depthName(ColourDepth depth) {
    return nameOf(Depths, int(depth));
}

std::optional<ColourDepth> parseDepth(QStringView name) {
    return parseNamed<ColourDepth>(Depths, name);
}

QString compressionName(Compression compression) {
    return nameOf(Compressions, int(compression));
}

std::optional<Compression> parseCompression(QStringView name) {
    return parseNamed<Compression>(Compressions, name);
}

int formatId(ColourFormat format, Version version) {
    const FormatInfo& f = infoOf(format);
    return version == Version::V9 ? f.v9Id : f.v8Id;
}

QByteArray formatEnum(ColourFormat format, Version version) {
    const FormatInfo& f = infoOf(format);
    return version == Version::V9 ? QByteArray("LV_COLOR_FORMAT_") + f.v9Enum
                                  : QByteArray("LV_IMG_CF_") + f.v8Enum;
}

QString formatDescription(ColourFormat format, ColourDepth depth) {
    if (format == ColourFormat::TrueColor || format == ColourFormat::TrueColorAlpha) {
        const bool alpha = format == ColourFormat::TrueColorAlpha;
        switch (depth) {
        case ColourDepth::Depth16:
            return alpha ? QStringLiteral("the rgb565 word (low byte first), then the alpha byte "
                                          "(LV_COLOR_DEPTH 16)")
                         : QStringLiteral("the rgb565 word, low byte first (LV_COLOR_DEPTH 16)");
        case ColourDepth::Depth16Swapped:
            return alpha ? QStringLiteral("the rgb565 word (high byte first), then the alpha byte "
                                          "(LV_COLOR_DEPTH 16, LV_COLOR_16_SWAP 1)")
                         : QStringLiteral("the rgb565 word, high byte first (LV_COLOR_DEPTH 16, "
                                          "LV_COLOR_16_SWAP 1)");
        case ColourDepth::Depth32:
            return alpha ? QStringLiteral("bytes blue, green, red, alpha (LV_COLOR_DEPTH 32)")
                         : QStringLiteral("bytes blue, green, red, 0xFF (LV_COLOR_DEPTH 32)");
        }
    }
    return QString::fromLatin1(infoOf(format).description);
}

int bitsPerPixel(ColourFormat format, ColourDepth depth) {
    if (depth == ColourDepth::Depth32 &&
        (format == ColourFormat::TrueColor || format == ColourFormat::TrueColorAlpha))
        return 32;
    return infoOf(format).bits;
}

bool isIndexed(ColourFormat format) {
    return infoOf(format).palette > 0;
}

bool isAlphaOnly(ColourFormat format) {
    return infoOf(format).alphaOnly;
}

bool keepsAlpha(ColourFormat format) {
    return infoOf(format).keepsAlpha;
}

int paletteSize(ColourFormat format) {
    return infoOf(format).palette;
}

bool has565Colour(ColourFormat format, ColourDepth depth) {
    switch (format) {
    case ColourFormat::Rgb565:
    case ColourFormat::Rgb565Swapped:
    case ColourFormat::Rgb565A8:
    case ColourFormat::Argb8565:
        return true;
    case ColourFormat::TrueColor:
    case ColourFormat::TrueColorAlpha:
        return depth != ColourDepth::Depth32;
    default:
        return false;
    }
}

bool acceptsDither(ColourFormat format, ColourDepth depth) {
    return has565Colour(format, depth) || isIndexed(format);
}

bool isRaw(ColourFormat format) {
    return format == ColourFormat::Raw || format == ColourFormat::RawAlpha;
}

bool acceptsPremultiply(ColourFormat format) {
    return format == ColourFormat::Rgb565A8 || format == ColourFormat::Argb8565;
}

std::optional<QRgb> parseColour(QStringView text) {
    if (text == u"white")
        return qRgb(255, 255, 255);
    if (text == u"black")
        return qRgb(0, 0, 0);
    QStringView digits;
    if (text.startsWith(u'#'))
        digits = text.mid(1);
    else if (text.startsWith(u"0x") || text.startsWith(u"0X"))
        digits = text.mid(2);
    if (digits.size() != 6)
        return std::nullopt;
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    if (!ok || !std::all_of(digits.begin(), digits.end(), [](QChar c) {
            return c.isDigit() || (c.toLower() >= u'a' && c.toLower() <= u'f');
        }))
        return std::nullopt;
    return 0xFF000000u | value;
}

int lumaOf(int r, int g, int b) {
    static const LumaTables t;
    const std::int64_t y = 2126 * t.linear[std::size_t(r)] + 7152 * t.linear[std::size_t(g)] +
                           722 * t.linear[std::size_t(b)];
    // The level whose boundaries enclose y; a value on a boundary goes up.
    return int(std::upper_bound(t.boundary.begin(), t.boundary.end(), y) - t.boundary.begin());
}

int truncatedLumaOf(int r, int g, int b) {
    // As LVGL's converter: in doubles, the terms summed from the left, then
    // truncated. The same operations give the same bits wherever doubles are
    // IEEE (and not fused into multiply-adds) and pow() is the C library's.
    static const std::array<double, 256> linear = [] {
        std::array<double, 256> t{};
        for (int v = 0; v < 256; ++v) {
            const double x = v / 255.0;
            t[std::size_t(v)] = x < 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
        }
        return t;
    }();
    const double y = 0.2126 * linear[std::size_t(r)] + 0.7152 * linear[std::size_t(g)] +
                     0.0722 * linear[std::size_t(b)];
    const double s = y <= 0.0031308 ? 12.92 * y : 1.055 * std::pow(y, 1 / 2.4) - 0.055;
    return std::clamp(int(s * 255), 0, 255);
}

QString optionsProblem(const ImageOptions& o) {
    if (!belongsTo(o.format, o.version))
        return QStringLiteral("--cf %1 is not a colour format of LVGL %2; it has %3")
            .arg(formatName(o.format))
            .arg(int(o.version))
            .arg(formatNames(o.version).join(QStringLiteral(", ")));
    if (o.version == Version::V8 && o.compression != Compression::None)
        return QStringLiteral("--compress is for LVGL 9: LVGL 8 images are not compressed");
    if (o.version == Version::V8 && o.strideAlign != 1)
        return QStringLiteral("--stride-align is for LVGL 9: LVGL 8 rows are whole bytes");
    if (o.strideAlign < 1 || o.strideAlign > 256 || (o.strideAlign & (o.strideAlign - 1)) != 0)
        return QStringLiteral("--stride-align must be a power of two from 1 to 256, not %1")
            .arg(o.strideAlign);
    if (o.dither != rgbqumo::DitherMode::None && !acceptsDither(o.format, o.depth))
        return QStringLiteral("--dither is for formats with fewer than 8 bits a channel; "
                              "%1 has nothing to dither")
            .arg(formatName(o.format));
    if (o.premultiply && !acceptsPremultiply(o.format))
        return QStringLiteral("--premultiply is for rgb565a8 and argb8565; %1")
            .arg(o.format == ColourFormat::Argb8888 ||
                         o.format == ColourFormat::Argb8888Premultiplied
                     ? QStringLiteral("argb8888 has --cf argb8888-premultiplied")
                     : QStringLiteral("%1 is not stored premultiplied").arg(formatName(o.format)));
    if (isRaw(o.format) && o.compression != Compression::None)
        return QStringLiteral("--compress is not for %1: the picture file goes in as it is")
            .arg(formatName(o.format));
    if (isRaw(o.format) && o.strideAlign != 1)
        return QStringLiteral("--stride-align is not for %1: the picture file has no rows")
            .arg(formatName(o.format));
    return {};
}

ImageLayout layoutOf(const ImageOptions& o, int width, int height) {
    if (!optionsProblem(o).isEmpty() || isRaw(o.format))
        throw std::invalid_argument("image options refused");
    const int maxSide = o.version == Version::V9 ? 65535 : 2047;
    if (width < 1 || height < 1 || width > maxSide || height > maxSide)
        throw RuntimeError(RuntimeError::Other,
                           QStringLiteral("an LVGL %1 image is 1 to %2 pixels a side, not %3*%4")
                               .arg(int(o.version))
                               .arg(maxSide)
                               .arg(width)
                               .arg(height));
    ImageLayout l;
    l.width = width;
    l.height = height;
    const qint64 rowBytes = (qint64(width) * bitsPerPixel(o.format, o.depth) + 7) / 8;
    const qint64 stride = (rowBytes + o.strideAlign - 1) / o.strideAlign * o.strideAlign;
    if (o.version == Version::V9 && stride > 65535)
        throw RuntimeError(RuntimeError::Other,
                           QStringLiteral("a row of %1 pixels in %2 takes %3 bytes; an LVGL 9 "
                                          "image's rows take at most 65535")
                               .arg(width)
                               .arg(formatName(o.format))
                               .arg(stride));
    l.stride = int(stride);
    l.paletteBytes = paletteSize(o.format) * 4;
    l.planeBytes = stride * height;
    if (o.format == ColourFormat::Rgb565A8)
        l.alphaBytes = stride / 2 * height;
    return l;
}

} // namespace zentraq::lvgl

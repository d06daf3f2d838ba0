#include "lvglimage.h"

#include "bytearraysink.h"
#include "metafile.h"
#include "palette.h"
#include "pictureloader.h"
#include "runtime_error.h"

#include <QBuffer>
#include <QRegularExpression>

#include <lz4.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

namespace zentraq::lvgl {
namespace {

using rgbqumo::DitherMode;

bool isTrueColour(ColourFormat f) {
    return f == ColourFormat::TrueColor || f == ColourFormat::TrueColorAlpha;
}

// An RGB565 word with each level times a / 255, truncated, as LVGL's
// converter premultiplies rgb565a8 and argb8565.
std::uint32_t premultiplied565(std::uint32_t word, int a) {
    const std::uint32_t r = (word >> 11 & 31) * std::uint32_t(a) / 255;
    const std::uint32_t g = (word >> 5 & 63) * std::uint32_t(a) / 255;
    const std::uint32_t b = (word & 31) * std::uint32_t(a) / 255;
    return r << 11 | g << 5 | b;
}

// Turns rows of unpremultiplied pixels into the rows of an image's planes.
class PlaneEncoder {
public:
    PlaneEncoder(const ImageOptions& o, const ImageLayout& l, const std::vector<QRgb>& palette)
        : m_o(o), m_l(l), m_bits(bitsPerPixel(o.format, o.depth)),
          m_flatten(!keepsAlpha(o.format)) {
        if (has565Colour(o.format, o.depth))
            m_words = std::make_unique<rgbqumo::RowQuantiser>(rgbqumo::PixelFormat::Rgb565,
                                                              o.dither, l.width);
        if (isIndexed(o.format))
            m_indices =
                std::make_unique<rgbqumo::PaletteEncoder>(palette, o.dither, l.width, m_bits);
        m_samples.resize(std::size_t(l.width));
        m_flat.resize(std::size_t(l.width));
    }

    void restart() {
        if (m_words)
            m_words->restart();
        if (m_indices)
            m_indices->restart();
    }

    // One row of the main plane: stride bytes.
    void mainRow(const QRgb* px, std::uint8_t* out) {
        const int w = m_l.width;
        std::memset(out, 0, std::size_t(m_l.stride));
        if (m_flatten) {
            for (int x = 0; x < w; ++x)
                m_flat[std::size_t(x)] = core::compositePixel(px[x], m_o.background);
            px = m_flat.data();
        }
        if (m_words)
            m_words->encodeRow(px, w, m_samples.data());
        const bool swapped = m_o.format == ColourFormat::Rgb565Swapped ||
                             (isTrueColour(m_o.format) && m_o.depth == ColourDepth::Depth16Swapped);
        switch (m_o.format) {
        case ColourFormat::Rgb565:
        case ColourFormat::Rgb565Swapped:
        case ColourFormat::Rgb565A8:
        case ColourFormat::Argb8565:
        case ColourFormat::TrueColor:
        case ColourFormat::TrueColorAlpha:
            if (m_words) {
                const bool alphaByte = m_o.format == ColourFormat::Argb8565 ||
                                       m_o.format == ColourFormat::TrueColorAlpha;
                for (int x = 0; x < w; ++x) {
                    std::uint32_t s = m_samples[std::size_t(x)];
                    if (m_o.premultiply)
                        s = premultiplied565(s, qAlpha(px[x]));
                    *out++ = std::uint8_t(swapped ? s >> 8 : s);
                    *out++ = std::uint8_t(swapped ? s : s >> 8);
                    if (alphaByte)
                        *out++ = std::uint8_t(qAlpha(px[x]));
                }
                return;
            }
            [[fallthrough]]; // 32-bit true colour
        case ColourFormat::Xrgb8888:
        case ColourFormat::Argb8888:
            for (int x = 0; x < w; ++x) {
                *out++ = std::uint8_t(qBlue(px[x]));
                *out++ = std::uint8_t(qGreen(px[x]));
                *out++ = std::uint8_t(qRed(px[x]));
                *out++ = std::uint8_t(m_flatten ? 0xFF : qAlpha(px[x]));
            }
            return;
        case ColourFormat::Argb8888Premultiplied:
            for (int x = 0; x < w; ++x) {
                const int a = qAlpha(px[x]);
                // Truncated, as LVGL's converter stores them.
                *out++ = std::uint8_t(qBlue(px[x]) * a / 255);
                *out++ = std::uint8_t(qGreen(px[x]) * a / 255);
                *out++ = std::uint8_t(qRed(px[x]) * a / 255);
                *out++ = std::uint8_t(a);
            }
            return;
        case ColourFormat::Rgb888:
            for (int x = 0; x < w; ++x) {
                *out++ = std::uint8_t(qBlue(px[x]));
                *out++ = std::uint8_t(qGreen(px[x]));
                *out++ = std::uint8_t(qRed(px[x]));
            }
            return;
        case ColourFormat::L8:
            for (int x = 0; x < w; ++x)
                *out++ = std::uint8_t(lumaOf(qRed(px[x]), qGreen(px[x]), qBlue(px[x])));
            return;
        case ColourFormat::Al88:
            for (int x = 0; x < w; ++x) {
                *out++ = std::uint8_t(truncatedLumaOf(qRed(px[x]), qGreen(px[x]), qBlue(px[x])));
                *out++ = std::uint8_t(qAlpha(px[x]));
            }
            return;
        case ColourFormat::Raw:
        case ColourFormat::RawAlpha:
            throw std::invalid_argument("raw images carry a file, not pixels");
        case ColourFormat::A1:
        case ColourFormat::A2:
        case ColourFormat::A4:
        case ColourFormat::A8:
            for (int x = 0; x < w; ++x)
                m_samples[std::size_t(x)] = std::uint32_t(qAlpha(px[x]) >> (8 - m_bits));
            pack(out);
            return;
        case ColourFormat::I1:
        case ColourFormat::I2:
        case ColourFormat::I4:
        case ColourFormat::I8:
            m_indices->encodeRow(px, w, m_samples.data());
            pack(out);
            return;
        }
    }

    // One row of rgb565a8's alpha plane: stride / 2 bytes.
    void alphaRow(const QRgb* px, std::uint8_t* out) const {
        std::memset(out, 0, std::size_t(m_l.stride / 2));
        for (int x = 0; x < m_l.width; ++x)
            out[x] = std::uint8_t(qAlpha(px[x]));
    }

private:
    // Samples of 1, 2, 4 or 8 bits, the first in the highest bits.
    void pack(std::uint8_t* out) const {
        const int perByte = 8 / m_bits;
        for (int x = 0; x < m_l.width; ++x)
            out[x / perByte] = std::uint8_t(
                out[x / perByte] | m_samples[std::size_t(x)] << (8 - m_bits * (x % perByte + 1)));
    }

    const ImageOptions& m_o;
    const ImageLayout& m_l;
    int m_bits;
    bool m_flatten;
    std::unique_ptr<rgbqumo::RowQuantiser> m_words;
    std::unique_ptr<rgbqumo::PaletteEncoder> m_indices;
    std::vector<std::uint32_t> m_samples;
    std::vector<QRgb> m_flat;
};

void putLe(QByteArray& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(char(value >> (8 * i)));
}

// Forwards bytes to a formatter.
class FormatterSink : public core::ByteSink {
public:
    explicit FormatterSink(core::Formatter& f) : m_f(f) {}
    void write(const char* data, qint64 size) override {
        m_f.bytes(reinterpret_cast<const std::uint8_t*>(data), qsizetype(size));
    }

private:
    core::Formatter& m_f;
};

QByteArray rawData(core::PixelSource& source, const ImageOptions& o, const ImageLayout& l) {
    core::ByteArraySink raw;
    if (l.rawBytes() > std::numeric_limits<int>::max() / 2)
        throw RuntimeError(
            RuntimeError::Other,
            QStringLiteral("the image's %1 bytes are too many to compress").arg(l.rawBytes()));
    raw.bytes.reserve(qsizetype(l.rawBytes()));
    encodeData(source, o, l, raw);
    return raw.bytes;
}

// The most data a compressed image may unpack to, and the most pixels an
// image may have, when it is read back (256 MiB either way).
constexpr qint64 MaxRawBytes = qint64(256) << 20;
constexpr qint64 MaxPixels = qint64(64) << 20;

[[noreturn]] void damaged(const QString& what) {
    throw RuntimeError(RuntimeError::InvalidPicture,
                       QStringLiteral("not a readable LVGL image: ") + what);
}

} // namespace

void encodeData(core::PixelSource& source, const ImageOptions& o, const ImageLayout& l,
                core::ByteSink& out) {
    std::vector<QRgb> row(std::size_t(l.width));
    std::vector<QRgb> palette;
    if (isIndexed(o.format)) {
        rgbqumo::PaletteBuilder builder(paletteSize(o.format));
        for (int y = 0; y < l.height; ++y) {
            source.read(y, 0, l.width, row.data());
            builder.addRow(row.data(), l.width);
        }
        palette = builder.build();
        QByteArray bytes;
        for (int i = 0; i < paletteSize(o.format); ++i) {
            const QRgb p = i < int(palette.size()) ? palette[std::size_t(i)] : 0;
            bytes.append(char(qBlue(p))).append(char(qGreen(p))).append(char(qRed(p)));
            bytes.append(char(qAlpha(p)));
        }
        out.write(bytes.constData(), bytes.size());
    }
    PlaneEncoder encoder(o, l, palette);
    // Rows go out in blocks of about 64 KiB.
    const int rowsPerBlock = std::max(1, 65536 / l.stride);
    std::vector<std::uint8_t> block(std::size_t(rowsPerBlock) * std::size_t(l.stride));
    int inBlock = 0;
    auto flush = [&](int rowBytes) {
        if (inBlock > 0)
            out.write(reinterpret_cast<const char*>(block.data()), qint64(inBlock) * rowBytes);
        inBlock = 0;
    };
    for (int y = 0; y < l.height; ++y) {
        source.read(y, 0, l.width, row.data());
        encoder.mainRow(row.data(), block.data() + std::size_t(inBlock) * std::size_t(l.stride));
        if (++inBlock == rowsPerBlock)
            flush(l.stride);
    }
    flush(l.stride);
    if (o.format == ColourFormat::Rgb565A8) {
        const int half = l.stride / 2;
        for (int y = 0; y < l.height; ++y) {
            source.read(y, 0, l.width, row.data());
            encoder.alphaRow(row.data(), block.data() + std::size_t(inBlock) * std::size_t(half));
            if (++inBlock == rowsPerBlock)
                flush(half);
        }
        flush(half);
    }
}

int rleBlockBytes(const ImageOptions& o) {
    if (o.format == ColourFormat::Rgb565A8)
        return 2;
    return (bitsPerPixel(o.format, o.depth) + 7) / 8;
}

QByteArray rleCompress(QByteArrayView data, int blockBytes) {
    constexpr qsizetype Threshold = 16; // repeats of fewer blocks are copied
    constexpr qsizetype MaxRun = 127;
    const qsizetype b = blockBytes;
    QByteArray padded(data.data(), data.size());
    if (padded.size() % b != 0)
        padded.append(QByteArray(b - padded.size() % b, '\0'));
    const char* p = padded.constData();
    const qsizetype blocks = padded.size() / b;
    auto same = [&](qsizetype i, qsizetype j) { return std::memcmp(p + i * b, p + j * b, b) == 0; };
    // Blocks equal to block i from i on, at most MaxRun.
    auto repeats = [&](qsizetype i) {
        qsizetype n = 1;
        while (n < MaxRun && i + n < blocks && same(i, i + n))
            ++n;
        return n;
    };
    // Blocks to copy from i: up to the first block that repeats more than
    // Threshold times (that block itself included), at most MaxRun.
    auto copies = [&](qsizetype i) {
        qsizetype previous = i, n = 0, repeated = 0;
        for (qsizetype at = i;;) {
            if (same(at, previous)) {
                if (++repeated > Threshold)
                    break;
            } else {
                previous = at;
                n += 1 + repeated;
                repeated = 0;
                if (n >= MaxRun)
                    return MaxRun;
            }
            if (++at >= blocks)
                return std::min(n + repeated, MaxRun);
        }
        return n;
    };
    QByteArray out;
    qsizetype i = 0;
    while (i < blocks) {
        const qsizetype run = repeats(i);
        if (run >= Threshold) {
            out.append(char(run));
            out.append(p + i * b, b);
            i += run;
        } else {
            const qsizetype n = copies(i);
            out.append(char(0x80 | n));
            out.append(p + i * b, n * b);
            i += n;
        }
    }
    return out;
}

std::optional<QByteArray> rleDecompress(QByteArrayView in, int blockBytes, qint64 size) {
    QByteArray out;
    if (size < 0 || size > std::numeric_limits<int>::max() / 2)
        return std::nullopt;
    out.reserve(qsizetype(size + blockBytes * 128));
    qsizetype i = 0;
    while (i < in.size()) {
        const int control = std::uint8_t(in[i++]);
        const int n = control & 0x7F;
        if (control & 0x80) {
            const qsizetype bytes = qsizetype(n) * blockBytes;
            if (in.size() - i < bytes)
                return std::nullopt;
            out.append(in.data() + i, bytes);
            i += bytes;
        } else {
            if (in.size() - i < blockBytes)
                return std::nullopt;
            for (int k = 0; k < n; ++k)
                out.append(in.data() + i, blockBytes);
            i += blockBytes;
        }
        if (out.size() > size + blockBytes)
            return std::nullopt;
    }
    // The last block may hold padding past the data's end.
    if (out.size() < size || out.size() - size >= blockBytes)
        return std::nullopt;
    out.truncate(qsizetype(size));
    return out;
}

QByteArray lz4Compress(QByteArrayView data) {
    const int bound = LZ4_compressBound(int(data.size()));
    if (bound <= 0 || data.size() > std::numeric_limits<int>::max())
        throw RuntimeError(RuntimeError::Other, QStringLiteral("too much data for LZ4"));
    QByteArray out(bound, Qt::Uninitialized);
    // One call on a fresh stream, as LVGL's own converter compresses (the
    // Python lz4 module), so that both make the same block; the one-shot
    // LZ4_compress_default picks its matches differently.
    LZ4_stream_t stream;
    LZ4_initStream(&stream, sizeof stream);
    const int n =
        LZ4_compress_fast_continue(&stream, data.data(), out.data(), int(data.size()), bound, 1);
    if (n <= 0)
        throw RuntimeError(RuntimeError::Other, QStringLiteral("LZ4 compression failed"));
    out.truncate(n);
    return out;
}

std::optional<QByteArray> lz4Decompress(QByteArrayView block, qint64 size) {
    if (size < 0 || size > std::numeric_limits<int>::max() / 2 ||
        block.size() > std::numeric_limits<int>::max())
        return std::nullopt;
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    const int n = LZ4_decompress_safe(block.data(), out.data(), int(block.size()), int(size));
    if (n != size)
        return std::nullopt;
    return out;
}

QByteArray compressedData(const ImageOptions& o, QByteArrayView raw) {
    const QByteArray packed =
        o.compression == Compression::Rle ? rleCompress(raw, rleBlockBytes(o)) : lz4Compress(raw);
    QByteArray out;
    putLe(out, o.compression == Compression::Rle ? 1 : 2, 4);
    putLe(out, std::uint64_t(packed.size()), 4);
    putLe(out, std::uint64_t(raw.size()), 4);
    return out + packed;
}

QByteArray fileHeader(const ImageOptions& o, const ImageLayout& l) {
    QByteArray h;
    const int cf = formatId(o.format, o.version);
    if (o.version == Version::V8) {
        putLe(h, std::uint32_t(cf) | std::uint32_t(l.width) << 10 | std::uint32_t(l.height) << 21,
              4);
        return h;
    }
    h.append(char(0x19)).append(char(cf));
    putLe(h, (o.compression != Compression::None ? 0x08 : 0) | (o.premultiply ? 0x01 : 0), 2);
    putLe(h, std::uint64_t(l.width), 2);
    putLe(h, std::uint64_t(l.height), 2);
    putLe(h, std::uint64_t(l.stride), 2);
    putLe(h, 0, 2);
    return h;
}

qint64 writeImageFile(core::PixelSource& source, const ImageOptions& o, core::ByteSink& sink) {
    const ImageLayout l = layoutOf(o, source.width(), source.height());
    const QByteArray header = fileHeader(o, l);
    if (o.compression == Compression::None) {
        sink.write(header.constData(), header.size());
        encodeData(source, o, l, sink);
        return l.rawBytes();
    }
    const QByteArray data = compressedData(o, rawData(source, o, l));
    sink.write(header.constData(), header.size());
    sink.write(data.constData(), data.size());
    return data.size();
}

qint64 writeImageSource(core::PixelSource& source, const ImageOptions& o, const CDeclaration& d,
                        core::ByteSink& sink) {
    const ImageLayout l = layoutOf(o, source.width(), source.height());
    const bool v9 = o.version == Version::V9;
    const QByteArray attr = d.attribute.isEmpty() ? QByteArray() : d.attribute + ' ';
    QByteArray head = d.comment;
    if (d.preamble)
        head +=
            "#if defined(LV_LVGL_H_INCLUDE_SIMPLE)\r\n#include \"lvgl.h\"\r\n"
            "#elif defined(LV_LVGL_H_INCLUDE_SYSTEM)\r\n#include <lvgl.h>\r\n"
            "#else\r\n#include \"lvgl/lvgl.h\"\r\n#endif\r\n\r\n"
            "#ifndef LV_ATTRIBUTE_MEM_ALIGN\r\n#define LV_ATTRIBUTE_MEM_ALIGN\r\n#endif\r\n\r\n";
    else
        head += "\r\n";
    if (d.preamble && !v9 && isTrueColour(o.format)) {
        const char* test = o.depth == ColourDepth::Depth32 ? "LV_COLOR_DEPTH != 32"
                           : o.depth == ColourDepth::Depth16
                               ? "LV_COLOR_DEPTH != 16 || LV_COLOR_16_SWAP != 0"
                               : "LV_COLOR_DEPTH != 16 || LV_COLOR_16_SWAP == 0";
        const char* build = o.depth == ColourDepth::Depth32 ? "LV_COLOR_DEPTH 32"
                            : o.depth == ColourDepth::Depth16
                                ? "LV_COLOR_DEPTH 16 without LV_COLOR_16_SWAP"
                                : "LV_COLOR_DEPTH 16 with LV_COLOR_16_SWAP";
        head += QByteArray("#if ") + test + "\r\n#error \"" + d.name + " is made for " + build +
                "\"\r\n#endif\r\n\r\n";
    }
    head += (v9 ? "static const " : "const ") + QByteArray("LV_ATTRIBUTE_MEM_ALIGN ") + attr +
            "uint8_t " + d.name + "_map[] = {\r\n";

    QByteArray compressed;
    if (o.compression != Compression::None)
        compressed = compressedData(o, rawData(source, o, l));

    core::Formatter f(sink, core::DataForm::C, core::LinePolicy{16, false});
    f.text(head);
    if (o.compression == Compression::None) {
        FormatterSink data(f);
        encodeData(source, o, l, data);
    } else {
        f.bytes(reinterpret_cast<const std::uint8_t*>(compressed.constData()), compressed.size());
    }
    const qint64 size = f.byteCount();
    f.finish();

    QByteArray tail =
        "\r\nconst " + attr + (v9 ? "lv_image_dsc_t " : "lv_img_dsc_t ") + d.name + " = {\r\n";
    const QByteArray cf = formatEnum(o.format, o.version);
    if (v9) {
        QByteArray flags = "0";
        if (o.compression != Compression::None)
            flags += " | LV_IMAGE_FLAGS_COMPRESSED";
        if (o.premultiply)
            flags += " | LV_IMAGE_FLAGS_PREMULTIPLIED";
        tail += "    .header = {\r\n"
                "        .magic = LV_IMAGE_HEADER_MAGIC,\r\n"
                "        .cf = " +
                cf + ",\r\n        .flags = " + flags +
                ",\r\n        .w = " + QByteArray::number(l.width) +
                ",\r\n        .h = " + QByteArray::number(l.height) +
                ",\r\n        .stride = " + QByteArray::number(l.stride) + ",\r\n    },\r\n";
    } else {
        tail += "    .header.cf = " + cf +
                ",\r\n    .header.always_zero = 0,\r\n    .header.reserved = 0,\r\n"
                "    .header.w = " +
                QByteArray::number(l.width) +
                ",\r\n    .header.h = " + QByteArray::number(l.height) + ",\r\n";
    }
    tail +=
        "    .data_size = sizeof(" + d.name + "_map),\r\n    .data = " + d.name + "_map,\r\n};\r\n";
    f.text(tail);
    f.flush();
    return size;
}

namespace {

// A premultiplied colour whose channels were widened from fewer bits, and
// so may exceed the alpha a little, back to unpremultiplied.
QRgb unpremultipliedWidened(QRgb p) {
    const int a = qAlpha(p);
    if (a == 0)
        return 0;
    auto channel = [a](int c) { return std::min(255, (c * 255 + a / 2) / a); };
    return qRgba(channel(qRed(p)), channel(qGreen(p)), channel(qBlue(p)), a);
}

// The decoded picture of an image's data (after decompression).
QImage decodePixels(const ImageOptions& o, int width, int height, int stride, bool premultiplied,
                    QByteArrayView data) {
    const int bits = bitsPerPixel(o.format, o.depth);
    const qint64 rowBytes = (qint64(width) * bits + 7) / 8;
    if (stride < rowBytes)
        damaged(QStringLiteral("a stride of %1 bytes is less than a row of %2")
                    .arg(stride)
                    .arg(rowBytes));
    const qint64 palette = qint64(paletteSize(o.format)) * 4;
    qint64 need = palette + qint64(stride) * height;
    if (o.format == ColourFormat::Rgb565A8)
        need += qint64(stride / 2) * height;
    if (data.size() < need)
        damaged(QStringLiteral("%1 bytes of data where %2*%3 pixels in %4 need %5")
                    .arg(data.size())
                    .arg(width)
                    .arg(height)
                    .arg(formatName(o.format))
                    .arg(need));
    QImage picture(width, height, QImage::Format_ARGB32);
    if (picture.isNull())
        throw RuntimeError(RuntimeError::Other, QStringLiteral("out of memory"));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    std::vector<QRgb> colours;
    for (qint64 i = 0; i < palette; i += 4)
        colours.push_back(qRgba(bytes[i + 2], bytes[i + 1], bytes[i], bytes[i + 3]));
    const std::uint8_t* plane = bytes + palette;
    auto widen565 = [](std::uint32_t w) {
        const int r = int(w >> 11) & 31, g = int(w >> 5) & 63, b = int(w) & 31;
        return qRgb(r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2);
    };
    const bool swapped = o.format == ColourFormat::Rgb565Swapped ||
                         (isTrueColour(o.format) && o.depth == ColourDepth::Depth16Swapped);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = plane + qint64(y) * stride;
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            QRgb p = 0;
            const std::uint8_t* px = in + qint64(x) * bits / 8;
            const int sub = bits < 8
                                ? (in[qint64(x) * bits / 8] >> (8 - bits * (x % (8 / bits) + 1))) &
                                      ((1 << bits) - 1)
                                : 0;
            switch (o.format) {
            case ColourFormat::Rgb565:
            case ColourFormat::Rgb565Swapped:
            case ColourFormat::Rgb565A8:
            case ColourFormat::Argb8565:
            case ColourFormat::TrueColor:
            case ColourFormat::TrueColorAlpha:
                if (bits != 32) {
                    const std::uint32_t w = swapped ? std::uint32_t(px[0]) << 8 | px[1]
                                                    : std::uint32_t(px[1]) << 8 | px[0];
                    p = widen565(w);
                    if (o.format == ColourFormat::Argb8565 ||
                        o.format == ColourFormat::TrueColorAlpha)
                        p = (p & 0xFFFFFFu) | QRgb(px[2]) << 24;
                    if (o.format == ColourFormat::Rgb565A8)
                        p = (p & 0xFFFFFFu) |
                            QRgb(plane[qint64(stride) * height + qint64(y) * (stride / 2) + x])
                                << 24;
                    if (premultiplied)
                        p = unpremultipliedWidened(p);
                    break;
                }
                [[fallthrough]];
            case ColourFormat::Xrgb8888:
            case ColourFormat::Argb8888:
            case ColourFormat::Argb8888Premultiplied:
                p = qRgba(px[2], px[1], px[0], px[3]);
                if (o.format == ColourFormat::Xrgb8888 || o.format == ColourFormat::TrueColor)
                    p |= 0xFF000000u;
                if (o.format == ColourFormat::Argb8888Premultiplied || premultiplied)
                    p = qUnpremultiply(p);
                break;
            case ColourFormat::Rgb888:
                p = qRgb(px[2], px[1], px[0]);
                break;
            case ColourFormat::L8:
                p = qRgb(px[0], px[0], px[0]);
                break;
            case ColourFormat::Al88:
                p = qRgba(px[0], px[0], px[0], px[1]);
                break;
            case ColourFormat::Raw:
            case ColourFormat::RawAlpha:
                break; // readImage() decodes the file instead
            case ColourFormat::A1:
            case ColourFormat::A2:
            case ColourFormat::A4:
                p = qRgba(0, 0, 0, sub * 255 / ((1 << bits) - 1));
                break;
            case ColourFormat::A8:
                p = qRgba(0, 0, 0, px[0]);
                break;
            case ColourFormat::I1:
            case ColourFormat::I2:
            case ColourFormat::I4:
                p = colours[std::size_t(sub)];
                break;
            case ColourFormat::I8:
                p = colours[px[0]];
                break;
            }
            if (premultiplied && isIndexed(o.format))
                p = qUnpremultiply(p);
            out[x] = p;
        }
    }
    return picture;
}

std::uint32_t le(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= std::uint32_t(p[i]) << (8 * i);
    return v;
}

std::optional<ColourFormat> formatOfId(int id, Version version) {
    for (ColourFormat f : formatsOf(version))
        if (formatId(f, version) == id)
            return f;
    return std::nullopt;
}

// Compressed data (the three words and the block) back to the raw data.
QByteArray decompressed(ImageOptions& o, QByteArrayView data, qint64 expected) {
    if (data.size() < 12)
        damaged(QStringLiteral("the compressed data has no header"));
    const auto* b = reinterpret_cast<const std::uint8_t*>(data.data());
    const std::uint32_t method = le(b, 4) & 0xF, size = le(b + 4, 4), raw = le(b + 8, 4);
    if (size != data.size() - 12)
        damaged(QStringLiteral("the compressed data holds %1 bytes, its header says %2")
                    .arg(data.size() - 12)
                    .arg(size));
    if (raw != expected)
        damaged(QStringLiteral("the compressed data unpacks to %1 bytes where the picture takes %2")
                    .arg(raw)
                    .arg(expected));
    std::optional<QByteArray> out;
    if (method == 1) {
        o.compression = Compression::Rle;
        out = rleDecompress(data.sliced(12), rleBlockBytes(o), raw);
    } else if (method == 2) {
        o.compression = Compression::Lz4;
        out = lz4Decompress(data.sliced(12), raw);
    } else {
        damaged(QStringLiteral("unknown compression method %1").arg(method));
    }
    if (!out)
        damaged(QStringLiteral("the compressed data is damaged"));
    return *out;
}

ReadImage readImage(ImageOptions o, int width, int height, int stride, int flags,
                    QByteArrayView data) {
    ReadImage r;
    if (isRaw(o.format)) {
        // A picture file as it is: decoded as the tool reads pictures, but
        // for metafiles, which LVGL has no decoder for.
        const QByteArray file = data.toByteArray();
        QBuffer probe;
        probe.setData(file);
        if (!probe.open(QIODevice::ReadOnly) || rgbqumo::IsMetafile(probe))
            damaged(QStringLiteral("its RAW data is a metafile, which LVGL does not decode"));
        try {
            r.picture = rgbqumo::LoadPictureData(file, QStringLiteral("RAW"))
                            .convertToFormat(QImage::Format_ARGB32);
        } catch (const RuntimeError&) {
            damaged(QStringLiteral("its RAW data is no picture file that can be read"));
        } catch (const std::bad_alloc&) {
            damaged(QStringLiteral("there is not enough memory for its RAW data's picture"));
        }
        r.options = o;
        r.stride = int(std::min<qint64>(qint64(r.picture.width()) * 4, 65535));
        return r;
    }
    if (width < 1 || height < 1)
        damaged(QStringLiteral("a picture of %1*%2 pixels").arg(width).arg(height));
    if (qint64(width) * height > MaxPixels)
        damaged(QStringLiteral("%1*%2 pixels are more than the %3 read back at most")
                    .arg(width)
                    .arg(height)
                    .arg(MaxPixels));
    if (stride == 0) // no stride given: whole bytes
        stride = int((qint64(width) * bitsPerPixel(o.format, o.depth) + 7) / 8);
    QByteArray raw;
    if (flags & 0x08) {
        qint64 need = qint64(paletteSize(o.format)) * 4 + qint64(stride) * height;
        if (o.format == ColourFormat::Rgb565A8)
            need += qint64(stride / 2) * height;
        if (need > MaxRawBytes)
            damaged(QStringLiteral("%1*%2 pixels are too many to show").arg(width).arg(height));
        raw = decompressed(o, data, need);
        data = raw;
    }
    r.premultiplied = flags & 0x01;
    r.picture = decodePixels(o, width, height, stride, r.premultiplied, data);
    r.options = o;
    r.stride = stride;
    return r;
}

} // namespace

ReadImage readImageFile(QByteArrayView bytes, ColourDepth depth) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
    ImageOptions o;
    o.depth = depth;
    if (bytes.size() >= 1 && b[0] == 0x19) {
        if (bytes.size() < 12)
            damaged(QStringLiteral("the file is shorter than its 12-byte header"));
        o.version = Version::V9;
        const auto f = formatOfId(b[1], Version::V9);
        if (!f)
            damaged(QStringLiteral("colour format 0x%1 is not one zentraq-cli reads")
                        .arg(b[1], 2, 16, QLatin1Char('0')));
        o.format = *f;
        return readImage(o, int(le(b + 4, 2)), int(le(b + 6, 2)), int(le(b + 8, 2)),
                         int(le(b + 2, 2)), bytes.sliced(12));
    }
    if (bytes.size() < 4)
        damaged(QStringLiteral("the file is shorter than a header"));
    o.version = Version::V8;
    const std::uint32_t h = le(b, 4);
    const auto f = formatOfId(int(h & 31), Version::V8);
    if (!f || (h >> 5 & 31) != 0)
        damaged(QStringLiteral("the header is neither LVGL 9's nor LVGL 8's"));
    o.format = *f;
    return readImage(o, int(h >> 10 & 0x7FF), int(h >> 21), 0, 0, bytes.sliced(4));
}

ReadImage readImageSource(QByteArrayView text, ColourDepth depth) {
    // Comments out, so that nothing in them is taken for code.
    QString source = QString::fromUtf8(text);
    static const QRegularExpression comments(QStringLiteral(R"(/\*.*?\*/|//[^\n]*)"),
                                             QRegularExpression::DotMatchesEverythingOption);
    source.remove(comments);
    static const QRegularExpression descriptor(
        QStringLiteral(R"((lv_image_dsc_t|lv_img_dsc_t)\s+([A-Za-z_]\w*)\s*=\s*\{(.*?)\}\s*;)"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch d = descriptor.match(source);
    if (!d.hasMatch())
        damaged(QStringLiteral("no lv_image_dsc_t or lv_img_dsc_t is declared"));
    ImageOptions o;
    o.depth = depth;
    o.version = d.captured(1) == u"lv_image_dsc_t" ? Version::V9 : Version::V8;
    const QString body = d.captured(3);
    auto field = [&](const QString& name) -> QString {
        const QRegularExpression re(
            QStringLiteral(R"(\.(?:header\s*\.\s*)?%1\s*=\s*([^,}]+))").arg(name));
        return re.match(body).captured(1).trimmed();
    };
    auto number = [&](const QString& name, bool required) {
        const QString v = field(name);
        bool ok = false;
        const int n = v.toInt(&ok, 0);
        if (!ok && required)
            damaged(QStringLiteral("the descriptor's .%1 is not a number").arg(name));
        return ok ? n : 0;
    };
    const QString cf = field(QStringLiteral("cf"));
    std::optional<ColourFormat> format;
    for (ColourFormat f : formatsOf(o.version))
        if (cf == QString::fromLatin1(formatEnum(f, o.version)))
            format = f;
    if (!format)
        damaged(QStringLiteral("colour format %1 is not one zentraq-cli reads").arg(cf));
    o.format = *format;
    const QString flagText = field(QStringLiteral("flags"));
    int flags = 0;
    if (flagText.contains(QLatin1String("LV_IMAGE_FLAGS_COMPRESSED")))
        flags |= 0x08;
    if (flagText.contains(QLatin1String("LV_IMAGE_FLAGS_PREMULTIPLIED")))
        flags |= 0x01;
    bool numeric = false;
    if (const int n = flagText.toInt(&numeric, 0); numeric)
        flags = n;

    const QString dataName = field(QStringLiteral("data"));
    static const QRegularExpression identifier(QStringLiteral(R"(^[A-Za-z_]\w*$)"));
    if (!identifier.match(dataName).hasMatch())
        damaged(QStringLiteral("the descriptor's .data names no array"));
    const QRegularExpression array(
        QStringLiteral(R"(\b%1\s*\[[^\]]*\]\s*=\s*\{([^}]*)\})").arg(dataName));
    const QRegularExpressionMatch a = array.match(source);
    if (!a.hasMatch())
        damaged(QStringLiteral("the array %1 is not in the file").arg(dataName));
    QByteArray data;
    for (const QString& item : a.captured(1).split(u',', Qt::SkipEmptyParts)) {
        const QString t = item.trimmed();
        if (t.isEmpty())
            continue;
        bool ok = false;
        const uint v = t.toUInt(&ok, 0);
        if (!ok || v > 255)
            damaged(QStringLiteral("'%1' in %2 is not a byte").arg(t.left(20), dataName));
        data.append(char(v));
    }
    return readImage(o, number(QStringLiteral("w"), true), number(QStringLiteral("h"), true),
                     o.version == Version::V9 ? number(QStringLiteral("stride"), false) : 0, flags,
                     data);
}

} // namespace zentraq::lvgl

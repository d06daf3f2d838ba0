#include "lvglimage.h"

#include "bitwriter.h"
#include "bytearraysink.h"
#include "bytefields.h"
#include "encode.h"
#include "metafile.h"
#include "palette.h"
#include "pictureloader.h"
#include "runtime_error.h"

#include <QBuffer>

#include <lz4.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
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
    void pack(std::uint8_t* out) {
        m_packed.clear();
        for (int x = 0; x < m_l.width; ++x)
            m_packer.write(m_samples[std::size_t(x)], m_bits);
        m_packer.alignToByte();
        std::memcpy(out, m_packed.data(), m_packed.size());
    }

    const ImageOptions& m_o;
    const ImageLayout& m_l;
    int m_bits;
    bool m_flatten;
    std::unique_ptr<rgbqumo::RowQuantiser> m_words;
    std::unique_ptr<rgbqumo::PaletteEncoder> m_indices;
    std::vector<std::uint32_t> m_samples;
    std::vector<QRgb> m_flat;
    std::vector<std::uint8_t> m_packed;
    core::BitWriter m_packer{m_packed, core::BitOrder::MsbFirst};
};

void putLe(QByteArray& out, std::uint64_t value, int bytes) {
    core::appendLe(out, value, bytes);
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

namespace {

// A compressed stream that does not unpack to what its header says.
struct StreamDamaged {};

// The data of an image, read front to back a piece at a time; what it has
// not handed out yet is all it keeps. Throws StreamDamaged.
class DataReader {
public:
    virtual ~DataReader() = default;
    DataReader() = default;
    DataReader(const DataReader&) = delete;
    DataReader& operator=(const DataReader&) = delete;

    // The next `n` bytes into `out`.
    virtual void read(std::uint8_t* out, qint64 n) = 0;
    // Checks that the stream ends where the data does.
    virtual void finish() {}

    void skip(qint64 n) {
        std::uint8_t scratch[4096];
        while (n > 0) {
            const qint64 k = std::min<qint64>(n, qint64(sizeof scratch));
            read(scratch, k);
            n -= k;
        }
    }
};

// Data as it is stored, from `start` on.
class PlainReader : public DataReader {
public:
    explicit PlainReader(QByteArrayView data) : m_data(data) {}
    void read(std::uint8_t* out, qint64 n) override {
        if (m_data.size() - m_at < n)
            throw StreamDamaged{};
        std::memcpy(out, m_data.data() + m_at, std::size_t(n));
        m_at += n;
    }

private:
    QByteArrayView m_data;
    qint64 m_at = 0;
};

// RLE, as lvglimage.h describes it, unpacking to `size` bytes; the last
// block may carry padding past them.
class RleReader : public DataReader {
public:
    RleReader(QByteArrayView stream, int blockBytes) : m_in(stream), m_block(blockBytes) {
        m_unit.resize(std::size_t(blockBytes));
    }

    void read(std::uint8_t* out, qint64 n) override {
        while (n > 0) {
            if (m_left == 0)
                next();
            const qint64 k = std::min(n, m_left);
            if (m_repeat) {
                for (qint64 i = 0; i < k; ++i) {
                    out[i] = m_unit[std::size_t(m_unitAt)];
                    m_unitAt = m_unitAt + 1 == m_block ? 0 : m_unitAt + 1;
                }
            } else {
                std::memcpy(out, m_in.data() + m_at, std::size_t(k));
                m_at += k;
            }
            m_left -= k;
            out += k;
            n -= k;
        }
    }

    // What the stream holds past the data is padding: less than a block.
    void finish() override {
        qint64 extra = 0;
        for (;;) {
            extra += m_left;
            if (!m_repeat)
                m_at += m_left;
            m_left = 0;
            if (extra >= m_block)
                throw StreamDamaged{};
            if (m_at == m_in.size())
                return;
            next();
        }
    }

private:
    void next() {
        if (m_at >= m_in.size())
            throw StreamDamaged{};
        const int control = std::uint8_t(m_in[m_at++]);
        m_left = qint64(control & 0x7F) * m_block;
        m_repeat = !(control & 0x80);
        if (m_in.size() - m_at < (m_repeat ? m_block : m_left))
            throw StreamDamaged{};
        if (m_repeat) {
            std::memcpy(m_unit.data(), m_in.data() + m_at, m_unit.size());
            m_at += m_block;
            m_unitAt = 0;
        }
    }

    QByteArrayView m_in;
    qint64 m_block;
    qint64 m_at = 0;
    qint64 m_left = 0; // bytes of the current run not handed out
    bool m_repeat = false;
    std::vector<std::uint8_t> m_unit; // the block a repeat repeats
    qint64 m_unitAt = 0;
};

// One raw LZ4 block that unpacks to exactly `size` bytes, with the rules
// liblz4's safe decoder holds it to: the last sequence is literals alone and
// ends the block, a literal run within the last 12 bytes of the data (or the
// last 8 of the block) is that last one, and a match neither reaches before
// the data's start nor into its last 5 bytes. Matches reach back at most
// 64 KiB, and that much is all it keeps of what it unpacked.
class Lz4Reader : public DataReader {
public:
    Lz4Reader(QByteArrayView block, qint64 size)
        : m_in(block), m_size(size), m_window(std::size_t(WindowBytes + 2 * Piece)) {}

    void read(std::uint8_t* out, qint64 n) override {
        while (n > 0) {
            if (m_ready == m_end)
                produce();
            if (m_ready == m_end)
                throw StreamDamaged{}; // asked for more than the block holds
            const qint64 k = std::min(n, m_end - m_ready);
            std::memcpy(out, m_window.data() + m_ready, std::size_t(k));
            m_ready += k;
            out += k;
            n -= k;
        }
    }

    // Nothing follows the data: a block that ends there is read to its end
    // (its last literal run may be empty).
    void finish() override {
        // No data is one empty literal run, as liblz4 has it.
        if (m_size == 0 && (m_in.size() != 1 || m_in[0] != '\0'))
            throw StreamDamaged{};
        if (m_ready == m_end && m_phase != Phase::Ended)
            produce();
        if (m_ready != m_end || m_phase != Phase::Ended || m_produced != m_size)
            throw StreamDamaged{};
    }

private:
    static constexpr qint64 WindowBytes = 65536; // a match's offset is 16 bits
    static constexpr qint64 Piece = 65536;       // unpacked at a time

    enum class Phase { Token, Literals, Match, Ended };

    std::uint8_t byte() {
        if (m_at >= m_in.size())
            throw StreamDamaged{};
        return std::uint8_t(m_in[m_at++]);
    }

    // A length of 15 goes on in the bytes after it.
    qint64 length(qint64 first) {
        qint64 n = first;
        if (first == 15) {
            for (std::uint8_t b = 255; b == 255;) {
                b = byte();
                n += b;
                if (n > m_size)
                    throw StreamDamaged{};
            }
        }
        return n;
    }

    void startLiterals() {
        const std::uint8_t token = byte();
        m_matchLength = token & 15;
        m_left = length(token >> 4);
        const qint64 inputLeft = m_in.size() - m_at;
        m_last = m_produced + m_left > m_size - 12 || m_left > inputLeft - 8;
        if (m_last && (m_left != inputLeft || m_produced + m_left > m_size))
            throw StreamDamaged{};
        if (m_left > inputLeft)
            throw StreamDamaged{};
        m_phase = Phase::Literals;
    }

    void startMatch() {
        m_offset = byte();
        m_offset |= qint64(byte()) << 8;
        m_left = length(m_matchLength) + 4;
        if (m_offset == 0 || m_offset > m_produced || m_produced + m_left > m_size - 5)
            throw StreamDamaged{};
        m_phase = Phase::Match;
    }

    // Unpacks up to a piece more, keeping the last 64 KiB before it.
    void produce() {
        if (m_end + Piece > qint64(m_window.size())) {
            const qint64 keep = std::min(m_end, WindowBytes);
            std::memmove(m_window.data(), m_window.data() + m_end - keep, std::size_t(keep));
            m_end = m_ready = keep;
        }
        const qint64 start = m_end;
        while (m_end - start < Piece) {
            if (m_phase == Phase::Ended)
                break;
            if (m_phase == Phase::Token) {
                startLiterals();
                continue;
            }
            const qint64 k = std::min(m_left, Piece - (m_end - start));
            std::uint8_t* to = m_window.data() + m_end;
            if (m_phase == Phase::Literals) {
                std::memcpy(to, m_in.data() + m_at, std::size_t(k));
                m_at += k;
            } else {
                const std::uint8_t* from = to - m_offset;
                for (qint64 i = 0; i < k; ++i) // copies may overlap themselves
                    to[i] = from[i];
            }
            m_end += k;
            m_produced += k;
            m_left -= k;
            if (m_left > 0)
                continue;
            if (m_phase == Phase::Match)
                m_phase = Phase::Token;
            else if (m_last)
                m_phase = Phase::Ended;
            else
                startMatch();
        }
    }

    QByteArrayView m_in;
    qint64 m_size;
    qint64 m_at = 0;
    std::vector<std::uint8_t> m_window;
    qint64 m_end = 0;   // bytes unpacked into the window
    qint64 m_ready = 0; // of those, the first not handed out
    qint64 m_produced = 0;
    Phase m_phase = Phase::Token;
    qint64 m_left = 0; // of the current literal run or match
    qint64 m_matchLength = 0;
    qint64 m_offset = 0;
    bool m_last = false;
};

// All `size` bytes of `reader`, checked to end there; nothing when the
// stream is damaged.
std::optional<QByteArray> readAll(DataReader& reader, qint64 size) {
    if (size < 0 || size > std::numeric_limits<int>::max() / 2)
        return std::nullopt;
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    try {
        reader.read(reinterpret_cast<std::uint8_t*>(out.data()), size);
        reader.finish();
    } catch (const StreamDamaged&) {
        return std::nullopt;
    }
    return out;
}

} // namespace

std::optional<QByteArray> rleDecompress(QByteArrayView in, int blockBytes, qint64 size) {
    RleReader reader(in, blockBytes);
    return readAll(reader, size);
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
    Lz4Reader reader(block, size);
    return readAll(reader, size);
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
    const QByteArray map = d.name + "_map";
    const QByteArray attributes =
        "LV_ATTRIBUTE_MEM_ALIGN" + (d.attribute.isEmpty() ? QByteArray() : ' ' + d.attribute);
    head += QByteArray::fromStdString(core::declarationText(
        {v9 ? "static const" : "const", core::textView(attributes), "uint8_t", core::textView(map)},
        "\r\n"));

    QByteArray compressed;
    if (o.compression != Compression::None)
        compressed = compressedData(o, rawData(source, o, l));

    core::Formatter f(sink, core::DataForm::C, core::LinePolicy{core::ItemsPerLine, false});
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

// Turns the rows of an image's planes into pixels.
class RowDecoder {
public:
    RowDecoder(const ImageOptions& o, int width, bool premultiplied,
               const std::vector<QRgb>& palette)
        : m_o(o), m_width(width), m_bits(bitsPerPixel(o.format, o.depth)),
          m_premultiplied(premultiplied), m_palette(palette),
          m_swapped(o.format == ColourFormat::Rgb565Swapped ||
                    (isTrueColour(o.format) && o.depth == ColourDepth::Depth16Swapped)) {}

    // A row of the main plane, and for rgb565a8 its row of alpha bytes.
    void decode(const std::uint8_t* in, const std::uint8_t* alpha, QRgb* out) const {
        const int bits = m_bits;
        for (int x = 0; x < m_width; ++x) {
            QRgb p = 0;
            const std::uint8_t* px = in + qint64(x) * bits / 8;
            const int sub = bits < 8
                                ? (in[qint64(x) * bits / 8] >> (8 - bits * (x % (8 / bits) + 1))) &
                                      ((1 << bits) - 1)
                                : 0;
            switch (m_o.format) {
            case ColourFormat::Rgb565:
            case ColourFormat::Rgb565Swapped:
            case ColourFormat::Rgb565A8:
            case ColourFormat::Argb8565:
            case ColourFormat::TrueColor:
            case ColourFormat::TrueColorAlpha:
                if (bits != 32) {
                    const std::uint32_t w = m_swapped ? std::uint32_t(px[0]) << 8 | px[1]
                                                      : std::uint32_t(px[1]) << 8 | px[0];
                    p = widen565(w);
                    if (m_o.format == ColourFormat::Argb8565 ||
                        m_o.format == ColourFormat::TrueColorAlpha)
                        p = (p & 0xFFFFFFu) | QRgb(px[2]) << 24;
                    if (m_o.format == ColourFormat::Rgb565A8)
                        p = (p & 0xFFFFFFu) | QRgb(alpha[x]) << 24;
                    if (m_premultiplied)
                        p = unpremultipliedWidened(p);
                    break;
                }
                [[fallthrough]];
            case ColourFormat::Xrgb8888:
            case ColourFormat::Argb8888:
            case ColourFormat::Argb8888Premultiplied:
                p = qRgba(px[2], px[1], px[0], px[3]);
                if (m_o.format == ColourFormat::Xrgb8888 || m_o.format == ColourFormat::TrueColor)
                    p |= 0xFF000000u;
                if (m_o.format == ColourFormat::Argb8888Premultiplied || m_premultiplied)
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
                p = m_palette[std::size_t(sub)];
                break;
            case ColourFormat::I8:
                p = m_palette[px[0]];
                break;
            }
            if (m_premultiplied && isIndexed(m_o.format))
                p = qUnpremultiply(p);
            out[x] = p;
        }
    }

private:
    static QRgb widen565(std::uint32_t w) {
        const int r = int(w >> 11) & 31, g = int(w >> 5) & 63, b = int(w) & 31;
        return qRgb(core::widenLevel(r, 5), core::widenLevel(g, 6), core::widenLevel(b, 5));
    }

    const ImageOptions& m_o;
    int m_width;
    int m_bits;
    bool m_premultiplied;
    const std::vector<QRgb>& m_palette;
    bool m_swapped;
};

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

// A RAW image's file decoded as the tool reads pictures (but for
// metafiles, which LVGL has no decoder for), its rows handed out as any
// image's.
void readRawImage(const ImageOptions& o, QByteArrayView data, RowReceiver& receiver) {
    const QByteArray file = data.toByteArray();
    QBuffer probe;
    probe.setData(file);
    if (!probe.open(QIODevice::ReadOnly) || rgbqumo::IsMetafile(probe))
        damaged(QStringLiteral("its RAW data is a metafile, which LVGL does not decode"));
    QImage picture;
    try {
        picture = rgbqumo::LoadPictureData(file, QStringLiteral("RAW"))
                      .convertToFormat(QImage::Format_ARGB32);
    } catch (const RuntimeError&) {
        damaged(QStringLiteral("its RAW data is no picture file that can be read"));
    } catch (const std::bad_alloc&) {
        damaged(QStringLiteral("there is not enough memory for its RAW data's picture"));
    }
    ImageHeader header;
    header.options = o;
    header.width = picture.width();
    header.height = picture.height();
    header.stride = int(std::min<qint64>(qint64(picture.width()) * 4, 65535));
    receiver.begin(header);
    for (int y = 0; y < picture.height(); ++y)
        receiver.row(y, reinterpret_cast<const QRgb*>(picture.constScanLine(y)));
}

// Reads the image's data (after the file header, or the C array's bytes),
// decompressing it as it goes, and hands its rows to `receiver`.
void readImage(ImageOptions o, int width, int height, int stride, int flags, QByteArrayView data,
               RowReceiver& receiver) {
    if (isRaw(o.format))
        return readRawImage(o, data, receiver);
    if (width < 1 || height < 1)
        damaged(QStringLiteral("a picture of %1*%2 pixels").arg(width).arg(height));
    if (qint64(width) * height > MaxPixels)
        damaged(QStringLiteral("%1*%2 pixels are more than the %3 read back at most")
                    .arg(width)
                    .arg(height)
                    .arg(MaxPixels));
    const int bits = bitsPerPixel(o.format, o.depth);
    if (stride == 0) // no stride given: whole bytes
        stride = int((qint64(width) * bits + 7) / 8);
    const qint64 rowBytes = (qint64(width) * bits + 7) / 8;
    if (stride < rowBytes)
        damaged(QStringLiteral("a stride of %1 bytes is less than a row of %2")
                    .arg(stride)
                    .arg(rowBytes));
    const qint64 paletteBytes = qint64(paletteSize(o.format)) * 4;
    const bool alphaPlane = o.format == ColourFormat::Rgb565A8;
    const qint64 mainBytes = paletteBytes + qint64(stride) * height;
    const qint64 need = mainBytes + (alphaPlane ? qint64(stride / 2) * height : 0);

    // The data's readers: one for the palette and main plane, one for the
    // alpha plane that follows it.
    std::function<std::unique_ptr<DataReader>()> reader;
    if (flags & 0x08) {
        if (need > MaxRawBytes)
            damaged(QStringLiteral("%1*%2 pixels are too many to show").arg(width).arg(height));
        if (data.size() < 12)
            damaged(QStringLiteral("the compressed data has no header"));
        const auto* b = reinterpret_cast<const std::uint8_t*>(data.data());
        const std::uint32_t method = le(b, 4) & 0xF, size = le(b + 4, 4), raw = le(b + 8, 4);
        if (size != data.size() - 12)
            damaged(QStringLiteral("the compressed data holds %1 bytes, its header says %2")
                        .arg(data.size() - 12)
                        .arg(size));
        if (raw != need)
            damaged(
                QStringLiteral("the compressed data unpacks to %1 bytes where the picture takes %2")
                    .arg(raw)
                    .arg(need));
        const QByteArrayView stream = data.sliced(12);
        if (method == 1) {
            o.compression = Compression::Rle;
            const int block = rleBlockBytes(o);
            reader = [stream, block] { return std::make_unique<RleReader>(stream, block); };
        } else if (method == 2) {
            o.compression = Compression::Lz4;
            reader = [stream, need] { return std::make_unique<Lz4Reader>(stream, need); };
        } else {
            damaged(QStringLiteral("unknown compression method %1").arg(method));
        }
    } else {
        if (data.size() < need)
            damaged(QStringLiteral("%1 bytes of data where %2*%3 pixels in %4 need %5")
                        .arg(data.size())
                        .arg(width)
                        .arg(height)
                        .arg(formatName(o.format))
                        .arg(need));
        reader = [data] { return std::make_unique<PlainReader>(data); };
    }

    ImageHeader header;
    header.options = o;
    header.width = width;
    header.height = height;
    header.stride = stride;
    header.premultiplied = flags & 0x01;
    receiver.begin(header);

    try {
        const std::unique_ptr<DataReader> main = reader();
        std::vector<std::uint8_t> bytes(std::size_t(std::max<qint64>(paletteBytes, stride)));
        main->read(bytes.data(), paletteBytes);
        std::vector<QRgb> palette;
        for (qint64 i = 0; i < paletteBytes; i += 4)
            palette.push_back(qRgba(bytes[std::size_t(i) + 2], bytes[std::size_t(i) + 1],
                                    bytes[std::size_t(i)], bytes[std::size_t(i) + 3]));
        std::unique_ptr<DataReader> alpha;
        std::vector<std::uint8_t> alphaBytes;
        if (alphaPlane) {
            alpha = reader();
            alpha->skip(mainBytes);
            alphaBytes.resize(std::size_t(stride / 2));
        }
        const RowDecoder decoder(o, width, header.premultiplied, palette);
        std::vector<QRgb> row(static_cast<std::size_t>(width));
        for (int y = 0; y < height; ++y) {
            main->read(bytes.data(), stride);
            if (alpha)
                alpha->read(alphaBytes.data(), stride / 2);
            decoder.decode(bytes.data(), alphaBytes.data(), row.data());
            receiver.row(y, row.data());
        }
        (alpha ? alpha : main)->finish();
    } catch (const StreamDamaged&) {
        damaged(QStringLiteral("the compressed data is damaged"));
    }
}

// The tokens of C source, comments and white space left out: words
// (letters, digits and underscores, so identifiers and numbers), string and
// character literals whole, and every other byte alone. Linear: no token is
// looked at twice.
class CTokens {
public:
    struct Token {
        QByteArrayView text; // empty at the end
        qsizetype at = 0;
        bool word = false;
        bool is(char c) const { return text.size() == 1 && text[0] == c && !word; }
        bool is(QByteArrayView w) const { return word && text == w; }
    };

    explicit CTokens(QByteArrayView text) : m_text(text) {}

    Token next() {
        skipSpace();
        Token t;
        t.at = m_at;
        if (m_at >= m_text.size())
            return t;
        const char c = m_text[m_at];
        qsizetype end = m_at + 1;
        if (isWordByte(c)) {
            while (end < m_text.size() && isWordByte(m_text[end]))
                ++end;
            t.word = true;
        } else if (c == '"' || c == '\'') {
            while (end < m_text.size() && m_text[end] != c && m_text[end] != '\n')
                end += m_text[end] == '\\' ? 2 : 1;
            end = std::min(end + 1, m_text.size());
        }
        t.text = m_text.sliced(m_at, end - m_at);
        m_at = end;
        return t;
    }

    qsizetype position() const { return m_at; }
    void seek(qsizetype at) { m_at = at; }

private:
    static bool isWordByte(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    }

    void skipSpace() {
        while (m_at < m_text.size()) {
            const char c = m_text[m_at];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
                ++m_at;
            } else if (c == '/' && m_at + 1 < m_text.size() && m_text[m_at + 1] == '/') {
                const qsizetype end = m_text.sliced(m_at).indexOf('\n');
                m_at = end < 0 ? m_text.size() : m_at + end;
            } else if (c == '/' && m_at + 1 < m_text.size() && m_text[m_at + 1] == '*') {
                const qsizetype end = m_text.sliced(m_at + 2).indexOf("*/");
                m_at = end < 0 ? m_text.size() : m_at + 2 + end + 2;
            } else {
                return;
            }
        }
    }

    QByteArrayView m_text;
    qsizetype m_at = 0;
};

// A number as C writes an integer without suffix: 0x hexadecimal, 0 octal,
// else decimal.
std::optional<qint64> cNumber(QByteArrayView text) {
    const bool ok = !text.isEmpty() && text[0] >= '0' && text[0] <= '9';
    if (!ok || text.size() > 24)
        return std::nullopt;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text = text.sliced(2);
    } else if (text.size() > 1 && text[0] == '0') {
        base = 8;
        text = text.sliced(1);
    }
    qint64 n = 0;
    for (const char c : text) {
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : 99;
        if (d >= base)
            return std::nullopt;
        n = n * base + d;
        if (n > std::numeric_limits<std::uint32_t>::max())
            return std::nullopt;
    }
    return n;
}

// The fields of an image descriptor that the image is read by, each with
// the tokens of its first value (up to the ',' or '}' after it).
struct Descriptor {
    Version version = Version::V9;
    qsizetype end = 0; // just past its ';'
    std::map<QByteArray, std::vector<QByteArrayView>> fields;

    QByteArray text(const char* name) const {
        QByteArray out;
        const auto it = fields.find(name);
        if (it != fields.end())
            for (const QByteArrayView t : it->second)
                out += (out.isEmpty() ? "" : " ") + t.toByteArray();
        return out;
    }
    // A field that is one number.
    std::optional<qint64> number(const char* name) const {
        const auto it = fields.find(name);
        if (it == fields.end() || it->second.size() != 1)
            return std::nullopt;
        return cNumber(it->second.front());
    }
    // A field that is one identifier; empty when it is not.
    QByteArray identifier(const char* name) const {
        const auto it = fields.find(name);
        if (it == fields.end() || it->second.size() != 1)
            return {};
        const QByteArrayView w = it->second.front();
        const bool word = std::all_of(w.begin(), w.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '_';
        });
        return word && !(w[0] >= '0' && w[0] <= '9') ? w.toByteArray() : QByteArray();
    }
    bool mentions(const char* name, QByteArrayView word) const {
        const auto it = fields.find(name);
        return it != fields.end() &&
               std::find(it->second.begin(), it->second.end(), word) != it->second.end();
    }
};

// The first "lv_image_dsc_t NAME = { ... };" (or lv_img_dsc_t) of the
// source from `from` on, its braces balanced.
std::optional<Descriptor> findDescriptor(QByteArrayView text, qsizetype from = 0) {
    constexpr std::size_t MostValueTokens = 16;
    CTokens tokens(text);
    tokens.seek(from);
    for (CTokens::Token t = tokens.next(); !t.text.isEmpty(); t = tokens.next()) {
        const bool v9 = t.is("lv_image_dsc_t");
        if (!v9 && !t.is("lv_img_dsc_t"))
            continue;
        const qsizetype after = tokens.position();
        const CTokens::Token name = tokens.next();
        if (!name.word || (name.text[0] >= '0' && name.text[0] <= '9') || !tokens.next().is('=') ||
            !tokens.next().is('{')) {
            tokens.seek(after);
            continue;
        }
        Descriptor d;
        d.version = v9 ? Version::V9 : Version::V8;
        int depth = 1;
        CTokens::Token b = tokens.next();
        while (!b.text.isEmpty() && depth > 0) {
            if (b.is('{')) {
                ++depth;
            } else if (b.is('}')) {
                --depth;
            } else if (b.is('.')) {
                // .NAME = value, or .header.NAME = value
                CTokens::Token field = tokens.next();
                if (field.is("header")) {
                    const qsizetype at = tokens.position();
                    if (tokens.next().is('.'))
                        field = tokens.next();
                    else
                        tokens.seek(at);
                }
                b = tokens.next();
                if (field.word && b.is('=')) {
                    std::vector<QByteArrayView> value;
                    for (b = tokens.next();
                         !b.text.isEmpty() && !b.is(',') && !b.is('}') && !b.is('{');
                         b = tokens.next())
                        if (value.size() < MostValueTokens)
                            value.push_back(b.text);
                    d.fields.emplace(field.text.toByteArray(), std::move(value));
                }
                continue; // b is the token after the field
            }
            b = tokens.next();
        }
        if (depth == 0 && b.is(';')) { // b: the token after the closing brace
            d.end = tokens.position();
            return d;
        }
    }
    return std::nullopt;
}

// The bytes of the first "NAME[...] = { ... }" of the source.
QByteArray arrayBytes(QByteArrayView text, QByteArrayView name) {
    CTokens tokens(text);
    // The ']' that every "NAME[" before it closes at, and whether "= {"
    // follows it: found once, not again for each NAME before it.
    qsizetype closeEnd = -1;
    bool closeOpens = false;
    for (CTokens::Token t = tokens.next(); !t.text.isEmpty(); t = tokens.next()) {
        if (!t.is(name))
            continue;
        const qsizetype after = tokens.position();
        if (!tokens.next().is('[')) {
            tokens.seek(after);
            continue;
        }
        if (tokens.position() >= closeEnd) {
            CTokens::Token b = tokens.next();
            while (!b.text.isEmpty() && !b.is(']'))
                b = tokens.next();
            if (b.text.isEmpty())
                break; // no ']' follows at all
            closeEnd = tokens.position();
            closeOpens = tokens.next().is('=') && tokens.next().is('{');
        }
        if (!closeOpens) {
            tokens.seek(after);
            continue;
        }
        tokens.seek(closeEnd);
        tokens.next(); // '='
        tokens.next(); // '{'
        // Bytes separated by commas, an empty item (a trailing comma) left out.
        QByteArray bytes;
        for (;;) {
            const CTokens::Token item = tokens.next();
            if (item.is('}') || item.text.isEmpty())
                return bytes;
            if (item.is(','))
                continue;
            CTokens::Token end = tokens.next();
            const std::optional<qint64> v = cNumber(item.text);
            if (!v || *v > 255 || !(end.is(',') || end.is('}') || end.text.isEmpty())) {
                qsizetype to = item.at + item.text.size();
                for (; !end.text.isEmpty() && !end.is(',') && !end.is('}'); end = tokens.next())
                    to = end.at + end.text.size();
                damaged(QStringLiteral("'%1' in %2 is not a byte")
                            .arg(QString::fromUtf8(text.sliced(item.at, to - item.at)).left(20),
                                 QString::fromUtf8(name)));
            }
            bytes.append(char(*v));
            if (!end.is(','))
                return bytes;
        }
    }
    damaged(QStringLiteral("the array %1 is not in the file").arg(QString::fromUtf8(name)));
}

// Keeps the rows in a picture.
class PictureReceiver : public RowReceiver {
public:
    explicit PictureReceiver(ReadImage& image) : m_image(image) {}
    void begin(const ImageHeader& header) override {
        m_image.options = header.options;
        m_image.stride = header.stride;
        m_image.premultiplied = header.premultiplied;
        m_image.picture = QImage(header.width, header.height, QImage::Format_ARGB32);
        if (m_image.picture.isNull())
            throw RuntimeError::outOfMemory();
    }
    void row(int y, const QRgb* pixels) override {
        std::memcpy(m_image.picture.scanLine(y), pixels,
                    std::size_t(m_image.picture.width()) * sizeof(QRgb));
    }

private:
    ReadImage& m_image;
};

} // namespace

void readImageFile(QByteArrayView bytes, ColourDepth depth, RowReceiver& receiver) {
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
        readImage(o, int(le(b + 4, 2)), int(le(b + 6, 2)), int(le(b + 8, 2)), int(le(b + 2, 2)),
                  bytes.sliced(12), receiver);
        return;
    }
    if (bytes.size() < 4)
        damaged(QStringLiteral("the file is shorter than a header"));
    o.version = Version::V8;
    const std::uint32_t h = le(b, 4);
    const auto f = formatOfId(int(h & 31), Version::V8);
    if (!f || (h >> 5 & 31) != 0)
        damaged(QStringLiteral("the header is neither LVGL 9's nor LVGL 8's"));
    o.format = *f;
    readImage(o, int(h >> 10 & 0x7FF), int(h >> 21), 0, 0, bytes.sliced(4), receiver);
}

void readImageSource(QByteArrayView text, ColourDepth depth, RowReceiver& receiver) {
    const std::optional<Descriptor> d = findDescriptor(text);
    if (!d)
        damaged(QStringLiteral("no lv_image_dsc_t or lv_img_dsc_t is declared"));
    ImageOptions o;
    o.depth = depth;
    o.version = d->version;
    auto number = [&](const char* name, bool required) {
        const std::optional<qint64> n = d->number(name);
        if (!n && required)
            damaged(
                QStringLiteral("the descriptor's .%1 is not a number").arg(QLatin1String(name)));
        return n && *n <= std::numeric_limits<int>::max() ? int(*n) : 0;
    };
    const QByteArray cf = d->text("cf");
    std::optional<ColourFormat> format;
    for (ColourFormat f : formatsOf(o.version))
        if (cf == formatEnum(f, o.version))
            format = f;
    if (!format)
        damaged(QStringLiteral("colour format %1 is not one zentraq-cli reads")
                    .arg(QString::fromUtf8(cf)));
    o.format = *format;
    int flags = 0;
    if (d->mentions("flags", "LV_IMAGE_FLAGS_COMPRESSED"))
        flags |= 0x08;
    if (d->mentions("flags", "LV_IMAGE_FLAGS_PREMULTIPLIED"))
        flags |= 0x01;
    if (const std::optional<qint64> n = d->number("flags"))
        flags = int(*n & 0xFFFF);

    const QByteArray dataName = d->identifier("data");
    if (dataName.isEmpty())
        damaged(QStringLiteral("the descriptor's .data names no array"));
    const QByteArray data = arrayBytes(text, dataName);
    readImage(o, number("w", true), number("h", true),
              o.version == Version::V9 ? number("stride", false) : 0, flags, data, receiver);
}

int declaredImages(QByteArrayView text) {
    int count = 0;
    qsizetype from = 0;
    while (const std::optional<Descriptor> d = findDescriptor(text, from)) {
        ++count;
        from = d->end;
    }
    return count;
}

QList<ReadImage> readImageSources(QByteArrayView text, ColourDepth depth) {
    // Each descriptor with what comes before it since the last one: its
    // array is there in the sources the tool writes. Every part of the text
    // is read twice at most: once to find the descriptor's end, once by
    // readImageSource.
    // All of them together are held to the limit of one image, checked
    // before each is unpacked.
    class Bounded : public PictureReceiver {
    public:
        Bounded(ReadImage& image, qint64& pixels) : PictureReceiver(image), m_pixels(pixels) {}
        void begin(const ImageHeader& header) override {
            m_pixels += qint64(header.width) * header.height;
            if (m_pixels > MaxPixels)
                damaged(QStringLiteral("its images together are more than the %1 pixels read "
                                       "back at most")
                            .arg(MaxPixels));
            PictureReceiver::begin(header);
        }

    private:
        qint64& m_pixels;
    };
    QList<ReadImage> images;
    qint64 pixels = 0;
    qsizetype from = 0;
    while (const std::optional<Descriptor> d = findDescriptor(text, from)) {
        ReadImage image;
        Bounded receiver(image, pixels);
        readImageSource(text.sliced(from, d->end - from), depth, receiver);
        images << std::move(image);
        from = d->end;
    }
    if (images.isEmpty())
        images << readImageSource(text, depth); // which says what is wrong
    return images;
}

ReadImage readImageFile(QByteArrayView bytes, ColourDepth depth) {
    ReadImage r;
    PictureReceiver receiver(r);
    readImageFile(bytes, depth, receiver);
    return r;
}

ReadImage readImageSource(QByteArrayView text, ColourDepth depth) {
    ReadImage r;
    PictureReceiver receiver(r);
    readImageSource(text, depth, receiver);
    return r;
}

} // namespace zentraq::lvgl

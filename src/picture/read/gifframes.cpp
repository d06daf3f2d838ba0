// GIF frames, read and composed here (see frames.h): the file's blocks are
// walked once to find every frame, then each frame's LZW data is decoded
// and drawn when it is asked for.
#include "frames.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zentraq::rgbqumo {
namespace {

[[noreturn]] void damaged(const QString& what) {
    throw FramesError(RuntimeError::InvalidPicture, what);
}

struct GifFrame {
    int x = 0, y = 0, w = 0, h = 0;
    bool interlaced = false;
    qsizetype table = -1; // its colour table's offset; -1: the global one
    int tableSize = 0;
    qsizetype data = 0; // the LZW minimum code size byte
    int disposal = 0;
    int transparent = -1; // the index that paints nothing, or -1
    int delayMs = 0;
};

// Decodes a frame's LZW data: the sub-blocks from `at` (the minimum code
// size byte) into `count` indices.
class LzwDecoder {
public:
    // Returns how many indices it made; stops at the end code, at the end of
    // the data or when `count` are made.
    static qsizetype decode(const std::uint8_t* file, qsizetype size, qsizetype at,
                            std::uint8_t* out, qsizetype count, int frame) {
        const int minimum = file[at++];
        if (minimum < 1 || minimum > 8)
            damaged(QStringLiteral("frame %1 has an LZW code size of %2 bits, not 1 to 8")
                        .arg(frame)
                        .arg(minimum));
        // The data's sub-blocks as one run of bytes.
        std::vector<std::uint8_t> data;
        for (;;) {
            // The walk checked that every block is there; the check stays.
            if (at >= size || size - at - 1 < file[at])
                damaged(QStringLiteral("frame %1's data is cut short").arg(frame));
            const int n = file[at++];
            if (n == 0)
                break;
            data.insert(data.end(), file + at, file + at + n);
            at += n;
        }
        const int clear = 1 << minimum, end = clear + 1;
        std::vector<std::uint16_t> prefix(4096);
        std::vector<std::uint8_t> suffix(4096), first(4096);
        std::vector<std::uint8_t> stack(4097);
        for (int i = 0; i < clear; ++i) {
            suffix[std::size_t(i)] = std::uint8_t(i);
            first[std::size_t(i)] = std::uint8_t(i);
        }
        int width = minimum + 1, next = clear + 2, previous = -1;
        std::uint32_t bits = 0;
        int held = 0;
        std::size_t in = 0;
        qsizetype made = 0;
        while (made < count) {
            while (held < width && in < data.size()) {
                bits |= std::uint32_t(data[in++]) << held;
                held += 8;
            }
            if (held < width)
                break; // the data ends
            const int code = int(bits & ((1u << width) - 1));
            bits >>= width;
            held -= width;
            if (code == clear) {
                width = minimum + 1;
                next = clear + 2;
                previous = -1;
                continue;
            }
            if (code == end)
                break;
            if (previous < 0) {
                if (code >= clear)
                    damaged(QStringLiteral("frame %1's LZW data starts with code %2")
                                .arg(frame)
                                .arg(code));
                out[made++] = std::uint8_t(code);
                previous = code;
                continue;
            }
            int string = code;
            int top = 0;
            if (code > next)
                damaged(QStringLiteral("frame %1's LZW data holds the code %2 where at most %3 "
                                       "is defined")
                            .arg(frame)
                            .arg(code)
                            .arg(next));
            if (code == next) { // the string before it and its own first byte
                stack[std::size_t(top++)] = first[std::size_t(previous)];
                string = previous;
            }
            while (string >= clear) {
                stack[std::size_t(top++)] = suffix[std::size_t(string)];
                string = prefix[std::size_t(string)];
            }
            stack[std::size_t(top++)] = std::uint8_t(string);
            const std::uint8_t head = std::uint8_t(string);
            while (top > 0 && made < count)
                out[made++] = stack[std::size_t(--top)];
            if (next < 4096) {
                prefix[std::size_t(next)] = std::uint16_t(previous);
                suffix[std::size_t(next)] = head;
                first[std::size_t(next)] = first[std::size_t(previous)];
                ++next;
                if (next == (1 << width) && width < 12)
                    ++width;
            }
            previous = code;
        }
        return made;
    }
};

class GifFrames : public FrameSource {
public:
    explicit GifFrames(const QByteArray& bytes) : m_bytes(bytes) { walk(); }

    QSize size() const override { return m_size; }
    int count() const override { return int(m_frames.size()); }

    Frame next() override {
        if (m_next >= count())
            throw std::logic_error("no frame is left");
        const int n = m_next++;
        if (n == 0) {
            m_dispose = QImage(m_size, QImage::Format_ARGB32);
            if (m_dispose.isNull())
                damaged(QStringLiteral("there is not enough memory for its canvas"));
            m_dispose.fill(m_background);
            m_disposeAlpha = m_frames.front().transparent >= 0;
            m_canvas = m_dispose;
            m_alpha = m_disposeAlpha;
        } else {
            const GifFrame& before = m_frames[std::size_t(n - 1)];
            if (before.disposal != 3) {
                m_dispose = m_canvas;
                m_disposeAlpha = m_alpha;
            }
            if (before.disposal == 2) {
                // A canvas without alpha gets it, every pixel opaque.
                if (!m_disposeAlpha)
                    setAlpha(m_dispose, m_dispose.rect(), 0xFF000000u);
                m_disposeAlpha = true;
                setAlpha(m_dispose, QRect(before.x, before.y, before.w, before.h), 0);
            }
            m_canvas = m_dispose;
            m_alpha = m_disposeAlpha;
        }
        draw(m_frames[std::size_t(n)], n);
        QImage shown = m_canvas.copy();
        if (!m_alpha)
            setAlpha(shown, shown.rect(), 0xFF000000u);
        return {shown, m_frames[std::size_t(n)].delayMs};
    }

private:
    const std::uint8_t* at(qsizetype offset) const {
        return reinterpret_cast<const std::uint8_t*>(m_bytes.constData()) + offset;
    }

    // The frames, their tables and data, checked to be there.
    void walk() {
        const qsizetype size = m_bytes.size();
        if (size < 13)
            damaged(QStringLiteral("it is cut short in its GIF header"));
        const std::uint8_t* h = at(0);
        int w = h[6] | h[7] << 8, hgt = h[8] | h[9] << 8;
        qsizetype pos = 13;
        if (h[10] & 0x80) {
            m_globalSize = 2 << (h[10] & 7);
            m_global = pos;
            pos += 3 * m_globalSize;
            if (pos > size)
                damaged(QStringLiteral("it is cut short in its global colour table"));
        }
        GifFrame pending;
        bool trailer = false;
        qint64 claimed = 0; // pixels of all frames together
        auto skipBlocks = [&](const QString& what) {
            for (;;) {
                if (pos >= size)
                    damaged(QStringLiteral("it is cut short in %1").arg(what));
                const int n = *at(pos++);
                if (n == 0)
                    return;
                if (size - pos < n)
                    damaged(QStringLiteral("it is cut short in %1: a block of %2 bytes, %3 follow")
                                .arg(what)
                                .arg(n)
                                .arg(size - pos));
                pos += n;
            }
        };
        while (pos < size && !trailer) {
            const int block = *at(pos++);
            if (block == 0x3B) {
                trailer = true;
            } else if (block == 0x21) {
                if (pos >= size)
                    damaged(QStringLiteral("it is cut short in an extension"));
                const int label = *at(pos++);
                if (label == 0xF9 && pos < size && *at(pos) >= 4 && size - pos >= 5) {
                    const std::uint8_t* g = at(pos + 1);
                    pending.disposal = g[0] >> 2 & 7;
                    pending.transparent = (g[0] & 1) ? g[3] : -1;
                    pending.delayMs = (g[1] | g[2] << 8) * 10;
                }
                skipBlocks(QStringLiteral("an extension"));
            } else if (block == 0x2C) {
                const int number = int(m_frames.size());
                if (size - pos < 9)
                    damaged(QStringLiteral("it is cut short in frame %1's descriptor").arg(number));
                const std::uint8_t* d = at(pos);
                GifFrame f = pending;
                f.x = d[0] | d[1] << 8;
                f.y = d[2] | d[3] << 8;
                f.w = d[4] | d[5] << 8;
                f.h = d[6] | d[7] << 8;
                f.interlaced = d[8] & 0x40;
                pos += 9;
                if (d[8] & 0x80) {
                    f.tableSize = 2 << (d[8] & 7);
                    f.table = pos;
                    pos += 3 * f.tableSize;
                    if (pos > size)
                        damaged(QStringLiteral("it is cut short in frame %1's colour table")
                                    .arg(number));
                }
                if (f.w == 0 || f.h == 0)
                    damaged(
                        QStringLiteral("frame %1 is %2 x %3 pixels").arg(number).arg(f.w).arg(f.h));
                if (qint64(f.w) * f.h > MaxFramePixels)
                    damaged(QStringLiteral("frame %1 claims %2 x %3 pixels, more than the %4 the "
                                           "tool decodes")
                                .arg(number)
                                .arg(f.w)
                                .arg(f.h)
                                .arg(MaxFramePixels));
                if (f.table < 0 && m_global < 0)
                    damaged(QStringLiteral("frame %1 has no colour table, and the file none")
                                .arg(number));
                if (pos >= size)
                    damaged(QStringLiteral("it is cut short in frame %1").arg(number));
                f.data = pos++;
                skipBlocks(QStringLiteral("frame %1's data").arg(number));
                if (int(m_frames.size()) == MaxFrames)
                    damaged(QStringLiteral("it has more than %1 frames").arg(MaxFrames));
                claimed += qint64(f.w) * f.h;
                if (claimed > MaxDecodedPixels)
                    damaged(QStringLiteral("its frames claim more than the %1 pixels the tool "
                                           "decodes together")
                                .arg(MaxDecodedPixels));
                m_frames.push_back(f);
                pending = GifFrame{};
            } else if (block != 0) { // stray zero bytes between blocks are read past
                damaged(QStringLiteral("it holds a block of unknown kind 0x%1 at byte %2")
                            .arg(block, 2, 16, QLatin1Char('0'))
                            .arg(pos - 1));
            }
        }
        if (m_frames.empty())
            damaged(QStringLiteral("it holds no frame"));
        // The background is the global table's entry when the first frame
        // takes its colours from that table (an index past its end: its
        // last entry), else white; as ImageMagick reads it.
        if (m_frames.front().table < 0) {
            const int bg = std::min<int>(h[11], m_globalSize - 1);
            m_background =
                qRgba(at(m_global)[3 * bg], at(m_global)[3 * bg + 1], at(m_global)[3 * bg + 2], 0);
        }
        // Without a logical screen, the first frame's extent is the canvas.
        if (w == 0 || hgt == 0) {
            w = m_frames.front().x + m_frames.front().w;
            hgt = m_frames.front().y + m_frames.front().h;
        }
        m_size = QSize(w, hgt);
        checkFramePixels(m_size, 1);
    }

    // Every pixel of `r` (clipped to the canvas) gets the alpha `alpha`
    // (0 or 0xFF000000), its colour kept.
    static void setAlpha(QImage& image, const QRect& area, QRgb alpha) {
        const QRect r = area.intersected(image.rect());
        for (int y = r.top(); y <= r.bottom(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = r.left(); x <= r.right(); ++x)
                row[x] = (row[x] & 0x00FFFFFFu) | alpha;
        }
    }

    void draw(const GifFrame& f, int number) {
        const qsizetype count = qsizetype(f.w) * f.h;
        std::vector<std::uint8_t> indices(std::size_t(count), 0);
        const qsizetype made =
            LzwDecoder::decode(at(0), m_bytes.size(), f.data, indices.data(), count, number);
        if (made < count)
            damaged(QStringLiteral("frame %1's data ends after %2 of its %3 pixels")
                        .arg(number)
                        .arg(made)
                        .arg(count));
        const std::uint8_t* table = at(f.table >= 0 ? f.table : m_global);
        const int tableSize = f.table >= 0 ? f.tableSize : m_globalSize;
        // An index past the table is its first entry, as ImageMagick reads it.
        QRgb colours[256];
        for (int i = 0; i < 256; ++i) {
            const int k = i < tableSize ? i : 0;
            colours[i] = qRgb(table[3 * k], table[3 * k + 1], table[3 * k + 2]);
        }
        // The first frame replaces what it covers, its transparent pixels
        // too (transparent, in the table's colour); a later frame with a
        // transparent index is laid over the canvas, one without replaces.
        const bool over = number > 0 && f.transparent >= 0;
        // Interlaced rows come in four passes: every 8th from 0, every 8th
        // from 4, every 4th from 2, every 2nd from 1.
        std::vector<int> rowOf(std::size_t(f.h));
        if (f.interlaced) {
            int k = 0;
            for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
                for (int y = start; y < f.h; y += step)
                    rowOf[std::size_t(k++)] = y;
        } else {
            for (int y = 0; y < f.h; ++y)
                rowOf[std::size_t(y)] = y;
        }
        for (int r = 0; r < f.h; ++r) {
            const int y = f.y + rowOf[std::size_t(r)];
            if (y >= m_size.height())
                continue;
            auto* row = reinterpret_cast<QRgb*>(m_canvas.scanLine(y));
            const std::uint8_t* in = indices.data() + qsizetype(r) * f.w;
            const int stop = std::min(f.w, m_size.width() - f.x);
            for (int x = 0; x < stop; ++x) {
                QRgb& p = row[f.x + x];
                if (in[x] != f.transparent)
                    p = colours[in[x]];
                else if (!over)
                    p = colours[in[x]] & 0x00FFFFFFu;
                else if (!m_alpha)
                    p |= 0xFF000000u; // over a canvas without alpha: opaque
                else if (qAlpha(p) == 0)
                    p = 0; // transparent over transparent
            }
        }
    }

    QByteArray m_bytes;
    QSize m_size;
    qsizetype m_global = -1;
    int m_globalSize = 0;
    QRgb m_background = 0x00FFFFFFu; // at alpha 0
    std::vector<GifFrame> m_frames;
    int m_next = 0;
    // The frame on screen, and what the next is drawn on (for disposal 2
    // cleared, for 3 kept from before). Each has alpha or not: without, its
    // pixels show opaque whatever their alpha says.
    QImage m_canvas;
    bool m_alpha = false;
    QImage m_dispose;
    bool m_disposeAlpha = false;
};

} // namespace

std::unique_ptr<FrameSource> openGifFrames(const QByteArray& bytes) {
    if (!bytes.startsWith("GIF87a") && !bytes.startsWith("GIF89a"))
        return nullptr;
    return std::make_unique<GifFrames>(bytes);
}

} // namespace zentraq::rgbqumo

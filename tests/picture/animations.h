#pragma once

// Animated GIFs for the tests, written byte by byte so that every disposal,
// transparency and offset is the test's own choice: each frame's indices as
// LZW codes of 9 bits with a clear code every 254 codes, so the table never
// grows (any decoder reads them). And the GIF the frame checks share: 8 x 6
// pixels, five frames with disposal 1, 2 and 3, a transparent index, partial
// frames, one reaching past the canvas, a first frame that leaves the canvas
// bare around it.

#include <QByteArray>
#include <QImage>
#include <QRgb>
#include <QtEndian>

#include <cstdint>
#include <vector>

namespace zentraq::testing {

struct GifFrameShape {
    int x = 0, y = 0, w = 0, h = 0;
    int disposal = 0;
    int transparent = -1;
    int delay = 0; // hundredths of a second
    bool interlaced = false;
    std::vector<std::uint8_t> indices; // w * h, rows from the top
    std::vector<QRgb> table;           // a local colour table, or empty
};

inline QByteArray gifTable(const std::vector<QRgb>& colours) {
    QByteArray t;
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < int(colours.size()) ? colours[std::size_t(i)] : 0;
        t.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
    }
    return t;
}

inline QByteArray gifData(const std::vector<std::uint8_t>& indices) {
    std::vector<int> codes;
    for (std::size_t i = 0; i < indices.size(); i += 254) {
        codes.push_back(256);
        for (std::size_t k = i; k < std::min(indices.size(), i + 254); ++k)
            codes.push_back(indices[k]);
    }
    codes.push_back(257);
    QByteArray packed;
    std::uint32_t bits = 0;
    int held = 0;
    for (int c : codes) {
        bits |= std::uint32_t(c) << held;
        held += 9;
        while (held >= 8) {
            packed.append(char(bits & 255));
            bits >>= 8;
            held -= 8;
        }
    }
    if (held > 0)
        packed.append(char(bits & 255));
    QByteArray out(1, char(8));
    for (qsizetype i = 0; i < packed.size(); i += 255) {
        const QByteArray block = packed.mid(i, 255);
        out.append(char(block.size())).append(block);
    }
    return out.append(char(0));
}

inline void putLe16(QByteArray& out, int v) {
    out.append(char(v & 255)).append(char(v >> 8 & 255));
}

inline QByteArray writeGif(int w, int h, const std::vector<QRgb>& global, int background,
                           const std::vector<GifFrameShape>& frames) {
    QByteArray out("GIF89a");
    putLe16(out, w);
    putLe16(out, h);
    out.append(char(global.empty() ? 0 : 0xF7)).append(char(background)).append(char(0));
    if (!global.empty())
        out += gifTable(global);
    out += QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (const GifFrameShape& f : frames) {
        out.append("\x21\xF9\x04", 3);
        out.append(char(f.disposal << 2 | (f.transparent >= 0 ? 1 : 0)));
        putLe16(out, f.delay);
        out.append(char(f.transparent >= 0 ? f.transparent : 0)).append(char(0));
        out.append(char(0x2C));
        putLe16(out, f.x);
        putLe16(out, f.y);
        putLe16(out, f.w);
        putLe16(out, f.h);
        out.append(char((f.table.empty() ? 0 : 0x87) | (f.interlaced ? 0x40 : 0)));
        if (!f.table.empty())
            out += gifTable(f.table);
        std::vector<std::uint8_t> stored = f.indices;
        if (f.interlaced) { // rows in the order of the four passes
            stored.clear();
            for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
                for (int y = start; y < f.h; y += step)
                    stored.insert(stored.end(), f.indices.begin() + y * f.w,
                                  f.indices.begin() + (y + 1) * f.w);
        }
        out += gifData(stored);
    }
    return out.append(char(0x3B));
}

// The shared GIF: red, green, blue, yellow, black, white; the background
// index 1 (green), index 5 transparent where a frame says so.
inline QByteArray disposalGif() {
    const std::vector<QRgb> colours{qRgb(255, 0, 0),   qRgb(0, 255, 0), qRgb(0, 0, 255),
                                    qRgb(255, 255, 0), qRgb(0, 0, 0),   qRgb(255, 255, 255)};
    std::vector<GifFrameShape> f(6);
    // A partial first frame, restored afterwards (disposal 3).
    f[0] = {1, 1, 6, 4, 3, -1, 10, false, {}, {}};
    for (int i = 0; i < 24; ++i)
        f[0].indices.push_back(std::uint8_t((i % 6 + i / 6) % 4));
    // A black block, cleared afterwards (disposal 2), no transparency.
    f[1] = {0, 0, 4, 3, 2, -1, 20, false, std::vector<std::uint8_t>(12, 4), {}};
    // Blue every other pixel, the rest transparent, kept (disposal 1).
    f[2] = {3, 2, 5, 4, 1, 5, 30, false, {}, {}};
    for (int i = 0; i < 20; ++i)
        f[2].indices.push_back(i % 2 ? 5 : 2);
    // Yellow, reaching past the canvas, cleared afterwards.
    f[3] = {6, 4, 4, 4, 2, -1, 40, false, std::vector<std::uint8_t>(16, 3), {}};
    // Interlaced, transparent around a cross, restored afterwards.
    f[4] = {0, 0, 5, 5, 3, 5, 0, true, {}, {}};
    for (int i = 0; i < 25; ++i)
        f[4].indices.push_back(i % 5 == 2 || i / 5 == 2 ? 0 : 5);
    // One green pixel in a corner.
    f[5] = {7, 5, 1, 1, 0, -1, 5, false, {1}, {}};
    return writeGif(8, 6, colours, 1, f);
}

} // namespace zentraq::testing

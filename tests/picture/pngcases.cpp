#include "pngcases.h"

#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <tuple>

namespace zentraq::testing {
namespace {

constexpr char Signature[] = "\x89PNG\r\n\x1a\n";

// A chunk as written: its length field may claim more or less than its data,
// and its CRC may be wrong.
struct Chunk {
    QByteArray type;
    QByteArray data;
    bool badCrc = false;
    qint64 claimed = -1; // the length field, when not the data's size
};

QByteArray be32(quint32 v) {
    QByteArray out(4, '\0');
    qToBigEndian(v, out.data());
    return out;
}

QByteArray written(const Chunk& c) {
    QByteArray out = be32(quint32(c.claimed >= 0 ? c.claimed : c.data.size())) + c.type + c.data;
    quint32 crc = quint32(
        ::crc32(0, reinterpret_cast<const Bytef*>(out.constData() + 4), uInt(out.size() - 4)));
    return out + be32(c.badCrc ? crc ^ 0x55u : crc);
}

QByteArray zlibbed(const QByteArray& data, int level = 6) {
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()), level);
    out.truncate(qsizetype(size));
    return out;
}

int channelsOf(int type) {
    return type == 0 || type == 3 ? 1 : type == 4 ? 2 : type == 2 ? 3 : 4;
}

// What the picture holds and how its file is laid out.
struct PngShape {
    int width = 16;
    int height = 16;
    int depth = 8;
    int type = 2;
    bool interlaced = false; // rows filtered by the five filters in turn
    int paletteSize = -1;    // -1: as many entries as the indices reach
    int indexLimit = -1;     // indices run 0 .. this - 1 (-1: the palette's size)
    QByteArray trns;         // a tRNS chunk's data
    bool hasTrns = false;
    QList<Chunk> beforeData;                     // after PLTE and tRNS
    int idatPiece = 0;                           // IDAT chunks of this many bytes (0: one)
    QByteArray ihdrTail = QByteArray("\0\0", 2); // compression and filter method
};

int sample(const PngShape& s, int x, int y, int c) {
    if (s.type == 3) {
        const int limit = s.indexLimit > 0    ? s.indexLimit
                          : s.paletteSize > 0 ? s.paletteSize
                                              : std::min(256, 1 << s.depth);
        return (x + 3 * y) % limit;
    }
    const int top = s.depth >= 16 ? 0xFFFF : (1 << s.depth) - 1;
    const bool alpha = (s.type == 4 || s.type == 6) && c == channelsOf(s.type) - 1;
    if (alpha) // every level from transparent to opaque, 0 and the top included
        return ((x + 5 * y) * (s.depth == 16 ? 4111 : 53)) % (top + 1);
    if (s.depth == 16)
        return (x * 4099 + y * 7919 + c * 12289 + x * y * 31) & 0xFFFF;
    return (x * 37 + y * 71 + c * 113 + x * y * 5) & top;
}

QByteArray paletteOf(int n) {
    QByteArray p;
    for (int i = 0; i < n; ++i)
        p += char((i * 53 + 17) & 255), p += char((i * 101 + 3) & 255),
            p += char((i * 197 + 91) & 255);
    return p;
}

QByteArray rowBytes(const PngShape& s, int y, int x0, int dx, int count) {
    const int channels = channelsOf(s.type);
    QByteArray out;
    if (s.depth >= 8) {
        for (int i = 0; i < count; ++i)
            for (int c = 0; c < channels; ++c) {
                const int v = sample(s, x0 + i * dx, y, c);
                if (s.depth == 16)
                    out += char(v >> 8);
                out += char(v & 255);
            }
        return out;
    }
    // Samples of fewer bits packed from the top of each byte (of any depth
    // below 8, so that headers with a depth PNG has not are filled too).
    int acc = 0, bits = 0;
    for (int i = 0; i < count; ++i) {
        acc = acc << s.depth | sample(s, x0 + i * dx, y, 0);
        bits += s.depth;
        while (bits >= 8) {
            bits -= 8;
            out += char(acc >> bits);
            acc &= (1 << bits) - 1;
        }
    }
    if (bits)
        out += char(acc << (8 - bits));
    return out;
}

int paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

QByteArray filtered(const QByteArray& row, const QByteArray& prior, int type, int bpp) {
    QByteArray out(1, char(type));
    for (qsizetype i = 0; i < row.size(); ++i) {
        const int a = i >= bpp ? uchar(row[i - bpp]) : 0;
        const int b = prior.isEmpty() ? 0 : uchar(prior[i]);
        const int c = i >= bpp && !prior.isEmpty() ? uchar(prior[i - bpp]) : 0;
        const int predicted = type == 1   ? a
                              : type == 2 ? b
                              : type == 3 ? (a + b) / 2
                              : type == 4 ? paeth(a, b, c)
                                          : 0;
        out += char(uchar(row[i]) - predicted);
    }
    return out;
}

// The scanlines, filtered, in the order of the passes.
QByteArray scanlines(const PngShape& s) {
    struct Pass {
        int x0, y0, dx, dy;
    };
    static const Pass Adam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    static const Pass Whole[] = {{0, 0, 1, 1}};
    const int bpp = std::max(1, channelsOf(s.type) * s.depth / 8);
    QByteArray out;
    int row = 0;
    for (const Pass& p :
         s.interlaced ? std::span<const Pass>(Adam7) : std::span<const Pass>(Whole)) {
        const int pw = s.width > p.x0 ? (s.width - p.x0 + p.dx - 1) / p.dx : 0;
        const int ph = s.height > p.y0 ? (s.height - p.y0 + p.dy - 1) / p.dy : 0;
        if (pw == 0 || ph == 0)
            continue;
        QByteArray prior;
        for (int y = p.y0; y < s.height; y += p.dy) {
            const QByteArray r = rowBytes(s, y, p.x0, p.dx, pw);
            out += filtered(r, prior, row++ % 5, bpp);
            prior = r;
        }
    }
    return out;
}

QByteArray ihdrData(const PngShape& s) {
    return be32(quint32(s.width)) + be32(quint32(s.height)) + char(s.depth) + char(s.type) +
           s.ihdrTail + char(s.interlaced ? 1 : 0);
}

QList<Chunk> chunksOf(const PngShape& s, const QByteArray& data) {
    QList<Chunk> out{{"IHDR", ihdrData(s)}};
    if (s.type == 3 && s.paletteSize != 0)
        out += Chunk{"PLTE",
                     paletteOf(s.paletteSize > 0 ? s.paletteSize : std::min(256, 1 << s.depth))};
    if (s.hasTrns)
        out += Chunk{"tRNS", s.trns};
    out += s.beforeData;
    const QByteArray z = data;
    if (s.idatPiece <= 0) {
        out += Chunk{"IDAT", z};
    } else {
        for (qsizetype at = 0; at < z.size(); at += s.idatPiece)
            out += Chunk{"IDAT", z.mid(at, s.idatPiece)};
    }
    out += Chunk{"IEND", {}};
    return out;
}

QByteArray fileOf(const QList<Chunk>& chunks, QByteArray signature = QByteArray(Signature, 8)) {
    QByteArray out = signature;
    for (const Chunk& c : chunks)
        out += written(c);
    return out;
}

QByteArray pngOf(const PngShape& s) {
    return fileOf(chunksOf(s, zlibbed(scanlines(s))));
}

QByteArray text(const char* keyword, const QByteArray& words) {
    return QByteArray(keyword) + '\0' + words;
}

class Cases {
public:
    QList<PngCase> all;
    void add(const QString& name, const QByteArray& file) { all.append(PngCase{name, file}); }
    void add(const QString& name, const PngShape& s) { add(name, pngOf(s)); }
};

PngShape shapeOf(int type, int depth, int w = 16, int h = 16) {
    PngShape s;
    s.type = type;
    s.depth = depth;
    s.width = w;
    s.height = h;
    return s;
}

PngShape changed(PngShape s, const std::function<void(PngShape&)>& change) {
    change(s);
    return s;
}

PngShape withTrns(PngShape s, const QByteArray& trns) {
    s.hasTrns = true;
    s.trns = trns;
    return s;
}

struct Kind {
    int type;
    int depth;
    const char* name;
};
constexpr Kind Kinds[] = {
    {0, 1, "g1"}, {0, 2, "g2"},   {0, 4, "g4"},    {0, 8, "g8"},  {0, 16, "g16"},
    {2, 8, "c8"}, {2, 16, "c16"}, {3, 1, "p1"},    {3, 2, "p2"},  {3, 4, "p4"},
    {3, 8, "p8"}, {4, 8, "ga8"},  {4, 16, "ga16"}, {6, 8, "ca8"}, {6, 16, "ca16"},
};

void basics(Cases& c) {
    for (const Kind& k : Kinds)
        for (bool interlaced : {false, true}) {
            PngShape s = shapeOf(k.type, k.depth, 32, 32);
            s.interlaced = interlaced;
            c.add(QStringLiteral("basic %1%2").arg(k.name, interlaced ? " adam7" : ""), s);
        }
}

void transparency(Cases& c) {
    // Grey with a transparent level: each depth, the lowest and highest.
    for (int depth : {1, 2, 4, 8, 16})
        for (int level : {0, (1 << depth) - 1}) {
            PngShape s = shapeOf(0, depth);
            s.hasTrns = true;
            s.trns = QByteArray(1, char(level >> 8)) + char(level & 255);
            c.add(QStringLiteral("trns g%1 level %2").arg(depth).arg(level), s);
        }
    c.add(QStringLiteral("trns g2 level 9"), withTrns(shapeOf(0, 2), QByteArray("\0\x09", 2)));
    for (int depth : {8, 16}) {
        PngShape s = shapeOf(2, depth);
        s.hasTrns = true;
        const int r = sample(s, 0, 0, 0), g = sample(s, 0, 0, 1), b = sample(s, 0, 0, 2);
        for (int v : {r, g, b})
            s.trns += char(v >> 8), s.trns += char(v & 255);
        c.add(QStringLiteral("trns c%1").arg(depth), s);
    }
    c.add(QStringLiteral("trns p4 longer than the palette"),
          withTrns(shapeOf(3, 4), QByteArray(20, '\x80')));
    c.add(QStringLiteral("trns with alpha"), withTrns(shapeOf(6, 8), QByteArray(6, '\0')));
}

// Palettes shorter than the indices reach, as libpng's small-palette and
// badpal pictures have them.
void palettes(Cases& c) {
    for (int depth : {1, 2, 4, 8})
        for (int entries : {1, 2, 3, 100}) {
            if (entries >= (1 << depth) && !(depth == 8 && entries == 100))
                continue;
            for (bool outside : {false, true}) {
                PngShape s = shapeOf(3, depth, 17, 11);
                s.paletteSize = entries;
                s.indexLimit = outside ? (1 << depth) : entries;
                c.add(QStringLiteral("palette p%1 %2 entries%3")
                          .arg(depth)
                          .arg(entries)
                          .arg(outside ? " indices past it" : ""),
                      s);
                if (!outside)
                    continue;
                s.hasTrns = true;
                s.trns = QByteArray(1, '\x40');
                c.add(QStringLiteral("palette p%1 %2 entries indices past it, tRNS")
                          .arg(depth)
                          .arg(entries),
                      s);
            }
        }
    c.add(QStringLiteral("palette p1 of 4 entries"),
          changed(shapeOf(3, 1), [](PngShape& s) { s.paletteSize = 4; }));
    c.add(QStringLiteral("palette missing"),
          changed(shapeOf(3, 4), [](PngShape& s) { s.paletteSize = 0; }));
}

// Ancillary chunks are skipped whatever they hold (damaged, decompressing
// to 16 MiB); unknown critical ones refuse.
void ancillary(Cases& c) {
    const std::pair<const char*, Chunk> chunks[] = {
        {"tEXt bad crc", {"tEXt", text("Title", "a picture"), true}},
        {"zTXt of 16 MiB",
         {"zTXt", text("Bomb", QByteArray(1, '\0') + zlibbed(QByteArray(16 << 20, 'a'), 9))}},
        {"unknown critical", {"CRIT", QByteArray("critical", 8)}},
    };
    for (const auto& [name, chunk] : chunks) {
        PngShape s = shapeOf(2, 8);
        s.beforeData.append(chunk);
        c.add(QStringLiteral("chunk %1 c8").arg(QLatin1String(name)), s);
    }
}

void dataLayouts(Cases& c) {
    PngShape pieces = shapeOf(6, 8, 24, 24);
    pieces.idatPiece = 7;
    c.add(QStringLiteral("IDAT in pieces of 7"), pieces);
    const PngShape base = shapeOf(2, 8, 24, 24);
    const QByteArray z = zlibbed(scanlines(base));
    auto withData = [&](const QString& name, QList<Chunk> data) {
        QList<Chunk> chunks{{"IHDR", ihdrData(base)}};
        chunks += data;
        chunks += Chunk{"IEND", {}};
        c.add(name, fileOf(chunks));
    };
    withData(QStringLiteral("IDAT empty between"),
             {{"IDAT", z.left(10)}, {"IDAT", {}}, {"IDAT", z.mid(10)}});
    withData(QStringLiteral("IDAT missing"), {});
    withData(QStringLiteral("IDAT stream short"), {{"IDAT", z.left(z.size() / 2)}});
    withData(QStringLiteral("IDAT more after the stream"), {{"IDAT", z + zlibbed("more")}});
    withData(QStringLiteral("IDAT rows short"),
             {{"IDAT", zlibbed(scanlines(base).left(scanlines(base).size() - 30))}});
    withData(QStringLiteral("IDAT rows long"),
             {{"IDAT", zlibbed(scanlines(base) + QByteArray(100, '\0'))}});
    withData(QStringLiteral("IDAT bad crc"), {{"IDAT", z, true}});
}

void headers(Cases& c) {
    const PngShape base = shapeOf(2, 8);
    const QByteArray good = pngOf(base);
    QByteArray noSignature = good;
    noSignature[4] = '\n';
    c.add(QStringLiteral("signature CR LF"), noSignature);
    // Headers a decoder refuses.
    auto withHeader = [&](const QString& name, std::function<void(PngShape&)> change) {
        c.add(name, changed(base, change));
    };
    withHeader(QStringLiteral("colour type 5"), [](PngShape& s) { s.type = 5; });
    for (const auto& [type, depth] : {std::pair{0, 3}, {0, 32}, {2, 4}, {3, 16}, {4, 4}, {6, 1}})
        withHeader(QStringLiteral("type %1 depth %2").arg(type).arg(depth),
                   [type, depth](PngShape& s) { s.type = type, s.depth = depth; });
    withHeader(QStringLiteral("width 0"), [](PngShape& s) { s.width = 0; });
    withHeader(QStringLiteral("filter method 64"), [](PngShape& s) { s.ihdrTail[1] = 64; });
    // A header that says more pixels than the file has data for.
    for (const auto& [w, h] :
         {std::pair{1000001, 1}, {1, 1000001}, {30000, 30000}, {0x7FFFFFFF, 1}, {4096, 4096}}) {
        PngShape s = shapeOf(0, 1);
        QList<Chunk> chunks = chunksOf(s, zlibbed(scanlines(s)));
        s.width = w, s.height = h;
        chunks[0].data = ihdrData(s);
        c.add(QStringLiteral("header %1x%2, data for 16x16").arg(w).arg(h), fileOf(chunks));
    }
    {
        QList<Chunk> chunks = chunksOf(base, zlibbed(scanlines(base)));
        chunks[0].badCrc = true;
        c.add(QStringLiteral("IHDR bad crc"), fileOf(chunks));
        chunks[0].badCrc = false;
        chunks.back().data = "end";
        c.add(QStringLiteral("IEND with data"), fileOf(chunks));
        chunks.back() = {"IEND", {}, true};
        c.add(QStringLiteral("IEND bad crc"), fileOf(chunks));
        chunks.removeLast();
        c.add(QStringLiteral("IEND missing"), fileOf(chunks));
    }
    // Cut short anywhere, and more after the end.
    for (int cut : {4, 8, 20, 33, 45, 60, int(good.size()) - 30, int(good.size()) - 12,
                    int(good.size()) - 4, int(good.size()) - 1})
        c.add(QStringLiteral("cut at %1 of %2").arg(cut).arg(good.size()), good.left(cut));
    c.add(QStringLiteral("junk after IEND"), good + QByteArray("junk after the end"));
}

// Chunks that claim far more than the file holds, as the crashers of
// libpng's test pictures: the 57-byte huge zTXt among them.
void crashers(Cases& c) {
    const PngShape base = shapeOf(0, 8, 1, 1);
    const QByteArray head = QByteArray(Signature, 8) + written({"IHDR", ihdrData(base)});
    for (const char* type :
         {"zTXt", "iTXt", "tEXt", "iCCP", "sPLT", "juNK", "juNk", "IDAT", "PLTE", "eXIf", "CgBI"})
        for (quint32 claimed : {0x40000000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 9000000u}) {
            QByteArray f = head + be32(claimed) + type + QByteArray(16, 'A');
            c.add(QStringLiteral("huge %1 claims %2").arg(QLatin1String(type)).arg(claimed), f);
        }
    // Whole chunks larger than the decoder keeps, the file holding them.
    for (const char* type : {"tEXt", "zTXt", "iTXt", "juNK"}) {
        PngShape s = shapeOf(2, 8, 4, 4);
        s.beforeData.append(
            Chunk{type, text("Big", QByteArray(1, '\0') + QByteArray(9000000, 'b'))});
        c.add(QStringLiteral("whole %1 of 9 MB").arg(QLatin1String(type)), s);
    }
}

} // namespace

QList<PngCase> pngCases() {
    Cases c;
    basics(c);
    transparency(c);
    palettes(c);
    ancillary(c);
    dataLayouts(c);
    headers(c);
    crashers(c);
    return c.all;
}

} // namespace zentraq::testing

#include "picturelayout.h"

#include "filebytes.h"

#include <QtEndian>

#include <algorithm>
#include <limits>
#include <new>

namespace zentraq::rgbqumo {
namespace {

constexpr qint64 kFar = std::numeric_limits<qint64>::max();

// Sizes from headers are up to 32 bits each; their products and sums are
// kept from overflowing by saturating at a size no file has.
qint64 add(qint64 a, qint64 b) {
    return a > kFar - b ? kFar : a + b;
}
qint64 mul(qint64 a, qint64 b) {
    return a != 0 && b > kFar / a ? kFar : a * b;
}

// Bytes of one row of `width` pixels of `bits` each, padded to 4 bytes.
qint64 rowBytes(qint64 width, qint64 bits) {
    return mul(add(mul(width, bits), 31) / 32, 4);
}

quint16 le16(const uchar* p) {
    return qFromLittleEndian<quint16>(p);
}
quint32 le32(const uchar* p) {
    return qFromLittleEndian<quint32>(p);
}

// Windows bitmap: the pixel rows start at the offset in the file header and
// have a fixed size unless compressed; compressed data has its size in the
// info header (when the writer filled it in).
qint64 bitmapSize(FileBytes& f) {
    uchar h[54];
    if (!f.read(0, h, 18))
        return 18;
    const qint64 pixels = le32(h + 10);
    const quint32 infoSize = le32(h + 14);
    qint64 width = 0;
    qint64 height = 0;
    qint64 bits = 0;
    quint32 compression = 0;
    quint32 dataSize = 0;
    if (infoSize == 12) { // OS/2 core header
        if (!f.read(0, h, 26))
            return 26;
        width = le16(h + 18);
        height = le16(h + 20);
        bits = le16(h + 24);
    } else if (infoSize >= 40 && infoSize <= 1024) {
        if (!f.read(0, h, 54))
            return 54;
        width = static_cast<qint32>(le32(h + 18));
        height = static_cast<qint32>(le32(h + 22));
        bits = le16(h + 28);
        compression = le32(h + 30);
        dataSize = le32(h + 34);
    } else {
        return 0;
    }
    const qint64 headers = 14 + qint64(infoSize);
    switch (compression) {
    case 0: // BI_RGB
    case 3: // BI_BITFIELDS
    case 6: // BI_ALPHABITFIELDS
        return std::max(headers,
                        add(pixels, mul(rowBytes(std::abs(width), bits), std::abs(height))));
    default: // run-length, JPEG or PNG data: as long as the header says
        return std::max(headers, add(pixels, dataSize));
    }
}

// Icon or cursor: a directory of images, the first of which is decoded. A
// bitmap image is an info header, the colours, the colour bits and the AND
// mask, laid out as the icon decoder reads them; a PNG image is as long as
// its directory entry says.
qint64 iconSize(FileBytes& f, std::optional<PictureLayout::Mask>& mask) {
    uchar e[22];
    if (!f.read(0, e, 22))
        return 22;
    if (le16(e) != 0 || (le16(e + 2) != 1 && le16(e + 2) != 2) || le16(e + 4) == 0)
        return 0;
    const qint64 length = le32(e + 6 + 8);
    const qint64 offset = le32(e + 6 + 12);
    uchar h[40];
    if (!f.read(offset, h, 8))
        return add(offset, 8);
    if (QByteArray::fromRawData(reinterpret_cast<const char*>(h), 8) == "\x89PNG\r\n\x1a\n")
        return add(offset, length);
    if (!f.read(offset, h, 40))
        return add(offset, 40);

    const qint64 bits = le16(h + 14) ? le16(h + 14) : le16(e + 6 + 6);
    const qint64 width = e[6] ? e[6] : static_cast<qint32>(le32(h + 4));
    const qint64 height = e[7] ? e[7] : static_cast<qint32>(le32(h + 8)) / 2;
    if (width <= 0 || height <= 0 || bits <= 0 || bits > 32)
        return 0;
    const qint64 colours = bits <= 8 ? (le32(h + 32) ? le32(h + 32) : qint64(1) << bits) : 0;
    const qint64 maskAt = add(add(offset, 40 + colours * 4), mul(rowBytes(width, bits), height));
    if ((bits == 1 || bits == 4 || bits == 8 || bits == 24) && width <= 0x7fff && height <= 0x7fff)
        mask = PictureLayout::Mask{maskAt, static_cast<int>(width), static_cast<int>(height)};
    return add(maskAt, mul(rowBytes(width, 1), height));
}

// GIF: the first image ends with the empty sub-block after its compressed
// data. Extensions before it are sub-blocks as well.
qint64 gifSize(FileBytes& f) {
    uchar h[13];
    if (!f.read(0, h, 13))
        return 13;
    if (qstrncmp(reinterpret_cast<const char*>(h), "GIF8", 4) != 0)
        return 0;
    qint64 at = 13;
    if (h[10] & 0x80)
        at += qint64(3) << ((h[10] & 7) + 1);
    // Skips a chain of sub-blocks; returns where it ends, or a size beyond
    // the file's end where the file ends before it.
    const auto skipBlocks = [&f](qint64 at) {
        for (uchar length = 0;; at += length) {
            if (!f.read(at, &length, 1))
                return add(at, 1);
            ++at;
            if (length == 0)
                return at;
        }
    };
    for (;;) {
        uchar block[10];
        if (!f.read(at, block, 1))
            return add(at, 1);
        if (block[0] == 0x21) { // extension: label, then sub-blocks
            at = skipBlocks(at + 2);
        } else if (block[0] == 0x2C) { // image: descriptor, colours, code size, data
            if (!f.read(at, block, 10))
                return add(at, 10);
            at += 10;
            if (block[9] & 0x80)
                at += qint64(3) << ((block[9] & 7) + 1);
            return skipBlocks(at + 1);
        } else if (block[0] == 0x3B) { // trailer without an image
            return at + 1;
        } else {
            return 0;
        }
        if (at > f.size())
            return at;
    }
}

// PNG: chunks, each a length, a type, the data and a checksum, up to IEND.
qint64 pngSize(FileBytes& f) {
    for (qint64 at = 8;;) {
        uchar chunk[8];
        if (!f.read(at, chunk, 8))
            return add(at, 8);
        const qint64 length = qFromBigEndian<quint32>(chunk);
        if (length > 0x7fffffff)
            return 0;
        at = add(at, 12 + length);
        if (qstrncmp(reinterpret_cast<const char*>(chunk + 4), "IEND", 4) == 0 || at > f.size())
            return at;
    }
}

// WebP: a RIFF file, as long as its header says.
qint64 webpSize(FileBytes& f) {
    uchar h[12];
    if (!f.read(0, h, 12))
        return 12;
    if (qstrncmp(reinterpret_cast<const char*>(h), "RIFF", 4) != 0)
        return 0;
    return add(8, le32(h + 4));
}

// TIFF: the first directory, the values its entries point to, and the strips
// or tiles that hold the pixels.
qint64 tiffSize(FileBytes& f) {
    uchar h[8];
    if (!f.read(0, h, 8))
        return 8;
    const bool little = h[0] == 'I' && h[1] == 'I';
    if (!little && !(h[0] == 'M' && h[1] == 'M'))
        return 0;
    const auto u16 = [little](const uchar* p) -> quint32 {
        return little ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p);
    };
    const auto u32 = [little](const uchar* p) -> quint32 {
        return little ? qFromLittleEndian<quint32>(p) : qFromBigEndian<quint32>(p);
    };
    if (u16(h + 2) != 42) // BigTIFF and others: left to the decoder
        return 0;
    const qint64 directory = u32(h + 4);
    uchar countBytes[2];
    if (!f.read(directory, countBytes, 2))
        return add(directory, 2);
    const qint64 entries = u16(countBytes);
    qint64 required = add(directory, 2 + entries * 12 + 4);
    const QByteArray table = f.read(directory + 2, entries * 12);
    if (table.size() != entries * 12)
        return required;

    // Values of one entry: inline when they fit 4 bytes, else at an offset.
    struct Values {
        qint64 type = 0;
        qint64 count = 0;
        qint64 offset = -1; // -1: inline
        uchar raw[4] = {};
    };
    Values offsets;
    Values lengths;
    static constexpr int kTypeSize[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    for (qint64 i = 0; i < entries; ++i) {
        const auto* entry = reinterpret_cast<const uchar*>(table.constData()) + i * 12;
        Values v;
        v.type = u16(entry + 2);
        v.count = u32(entry + 4);
        std::copy(entry + 8, entry + 12, v.raw);
        const qint64 size = v.type < 14 ? mul(kTypeSize[v.type], v.count) : 0;
        if (size > 4) {
            v.offset = u32(entry + 8);
            required = std::max(required, add(v.offset, size));
        }
        const quint32 tag = u16(entry);
        if (tag == 273 || tag == 324) // StripOffsets, TileOffsets
            offsets = v;
        else if (tag == 279 || tag == 325) // StripByteCounts, TileByteCounts
            lengths = v;
    }
    if (required > f.size() || offsets.count == 0 || lengths.count == 0)
        return required;

    // Each strip or tile must lie within the file.
    const auto valuesOf = [&](const Values& v) {
        const qint64 size = v.type == 3 ? 2 : 4;
        const QByteArray bytes = v.offset < 0 ? QByteArray(reinterpret_cast<const char*>(v.raw), 4)
                                              : f.read(v.offset, size * v.count);
        QList<qint64> out;
        if ((v.type != 3 && v.type != 4) || bytes.size() < size * v.count)
            return out;
        const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
        for (qint64 i = 0; i < v.count; ++i)
            out.append(size == 2 ? u16(p + i * 2) : u32(p + i * 4));
        return out;
    };
    const QList<qint64> starts = valuesOf(offsets);
    const QList<qint64> sizes = valuesOf(lengths);
    for (qsizetype i = 0; i < std::min(starts.size(), sizes.size()); ++i)
        required = std::max(required, add(starts[i], sizes[i]));
    return required;
}

} // namespace

PictureLayout inspectPicture(QIODevice& file, const QByteArray& format) {
    FileBytes f(file);
    PictureLayout layout;
    const QByteArray name = format.toLower();
    if (name == "bmp" || name == "dib")
        layout.requiredSize = bitmapSize(f);
    else if (name == "ico" || name == "cur")
        layout.requiredSize = iconSize(f, layout.andMask);
    else if (name == "gif")
        layout.requiredSize = gifSize(f);
    else if (name == "png")
        layout.requiredSize = pngSize(f);
    else if (name == "webp")
        layout.requiredSize = webpSize(f);
    else if (name == "tif" || name == "tiff")
        layout.requiredSize = tiffSize(f);
    return layout;
}

void applyAndMask(QImage& picture, QIODevice& file, const PictureLayout::Mask& mask) {
    if (picture.width() != mask.width || picture.height() != mask.height)
        return;
    FileBytes f(file);
    const qint64 stride = rowBytes(mask.width, 1);
    const QByteArray bits = f.read(mask.offset, stride * mask.height);
    if (bits.size() != stride * mask.height)
        return;
    QImage masked = picture.convertToFormat(QImage::Format_ARGB32);
    if (masked.isNull())
        throw std::bad_alloc();
    for (int y = 0; y < mask.height; ++y) {
        // Rows are stored from the bottom; the highest bit is the left pixel.
        const auto* row =
            reinterpret_cast<const uchar*>(bits.constData()) + (mask.height - 1 - y) * stride;
        auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
        for (int x = 0; x < mask.width; ++x)
            if (row[x >> 3] & (0x80 >> (x & 7)))
                line[x] = qRgba(0, 0, 0, 0);
    }
    picture = std::move(masked);
}

} // namespace zentraq::rgbqumo

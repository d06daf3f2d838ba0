#include "picturebounds.h"

#include "filebytes.h"
#include "pngchunks.h"

#include <QtEndian>

#include <algorithm>

namespace zentraq::rgbqumo {
namespace {

// A chunk or segment name: its four letters, or its bytes in hex when they
// are not letters.
QString chunkName(const uchar* type) {
    const bool letters = std::all_of(type, type + 4, [](uchar c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == ' ';
    });
    return letters
               ? QString::fromLatin1(reinterpret_cast<const char*>(type), 4)
               : QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(type), 4).toHex());
}

DecoderClaim overclaim(const char* format, const QString& part, qint64 claimed, qint64 left) {
    DecoderClaim c;
    c.format = QLatin1String(format);
    c.part = part;
    c.claimed = claimed;
    c.left = std::max<qint64>(left, 0);
    return c;
}

// PNG data in [start, end): the walk of pngchunks.h.
std::optional<DecoderClaim> pngChunks(FileBytes& f, qint64 start, qint64 end) {
    const std::optional<PngChunkClaim> claim = pngChunkOverclaim(
        [&f](long long offset, void* out, long long n) { return f.read(offset, out, n); }, start,
        end);
    if (!claim)
        return std::nullopt;
    return overclaim("PNG", chunkName(reinterpret_cast<const uchar*>(claim->type)), claim->claimed,
                     claim->left);
}

// Icon or cursor: the first image of the directory is decoded, from the bytes
// its entry gives it. A PNG image is recognised as the decoder does, by its
// first four bytes.
std::optional<DecoderClaim> iconImage(FileBytes& f) {
    uchar e[22];
    if (!f.read(0, e, 22))
        return std::nullopt;
    const quint16 type = qFromLittleEndian<quint16>(e + 2);
    if (qFromLittleEndian<quint16>(e) != 0 || (type != 1 && type != 2) ||
        qFromLittleEndian<quint16>(e + 4) == 0)
        return std::nullopt;
    const qint64 length = qFromLittleEndian<quint32>(e + 6 + 8);
    const qint64 offset = qFromLittleEndian<quint32>(e + 6 + 12);
    uchar signature[4];
    if (!f.read(offset, signature, 4) ||
        qstrncmp(reinterpret_cast<const char*>(signature), "\x89PNG", 4) != 0)
        return std::nullopt;
    return pngChunks(f, offset, std::min(offset + length, f.size()));
}

// WebP: a RIFF file of chunks, each a type, a length and the data, padded to
// an even length, within the length the RIFF header gives.
std::optional<DecoderClaim> webpChunks(FileBytes& f) {
    uchar h[12];
    if (!f.read(0, h, 12) || qstrncmp(reinterpret_cast<const char*>(h), "RIFF", 4) != 0)
        return std::nullopt;
    const qint64 end = std::min(8 + qint64(qFromLittleEndian<quint32>(h + 4)), f.size());
    for (qint64 at = 12; end - at >= 8;) {
        uchar chunk[8];
        if (!f.read(at, chunk, 8))
            return std::nullopt;
        const qint64 length = qFromLittleEndian<quint32>(chunk + 4);
        if (length > end - at - 8)
            return overclaim("WebP", chunkName(chunk), length, end - at - 8);
        at += 8 + length + (length & 1);
    }
    return std::nullopt;
}

qint64 roundUp(qint64 value, qint64 multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

// JPEG: segments, each a marker and a length, up to the first scan. A
// decoder that meets a progressive frame, or a first scan without every
// colour component, keeps the coefficients of the whole picture until its
// last scan: 64 of 2 bytes for each block of 8 x 8 samples of each
// component.
std::optional<DecoderClaim> jpegSegments(FileBytes& f, qint64 budget) {
    uchar h[4];
    if (!f.read(0, h, 2) || h[0] != 0xFF || h[1] != 0xD8)
        return std::nullopt;
    bool progressive = false;
    int width = 0;
    int height = 0;
    int components = 0;
    uchar sampling[256][2] = {}; // horizontal, vertical, per component
    for (qint64 at = 2;;) {
        if (!f.read(at, h, 2) || h[0] != 0xFF)
            return std::nullopt; // the decoder judges what it cannot find
        const uchar marker = h[1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2; // markers without a segment
            continue;
        }
        if (marker == 0xD9 || !f.read(at + 2, h + 2, 2))
            return std::nullopt;
        const qint64 length = qFromBigEndian<quint16>(h + 2);
        const qint64 left = f.size() - at - 2;
        if (length > left)
            return overclaim("JPEG",
                             QStringLiteral("FF%1").arg(marker, 2, 16, QLatin1Char('0')).toUpper(),
                             length, left);
        if (length < 2)
            return std::nullopt;
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            uchar sof[6 + 255 * 3];
            if (length < 8 || !f.read(at + 4, sof, std::min<qint64>(length - 2, sizeof sof)))
                return std::nullopt;
            progressive = (marker & 3) == 2; // C2, C6, CA, CE
            height = qFromBigEndian<quint16>(sof + 1);
            width = qFromBigEndian<quint16>(sof + 3);
            components = std::min<int>(sof[5], int(length - 8) / 3);
            for (int c = 0; c < components; ++c) {
                sampling[c][0] = sof[6 + 3 * c + 1] >> 4;
                sampling[c][1] = sof[6 + 3 * c + 1] & 15;
            }
        } else if (marker == 0xDA) {
            uchar scan = 0;
            if (components == 0 || length < 3 || !f.read(at + 4, &scan, 1))
                return std::nullopt;
            if (!progressive && scan >= components)
                return std::nullopt; // one pass: a few rows of blocks at a time
            int hMax = 0;
            int vMax = 0;
            for (int c = 0; c < components; ++c) {
                hMax = std::max<int>(hMax, sampling[c][0]);
                vMax = std::max<int>(vMax, sampling[c][1]);
            }
            if (budget <= 0 || width == 0 || height == 0 || hMax == 0 || vMax == 0)
                return std::nullopt;
            qint64 bytes = 0;
            for (int c = 0; c < components; ++c) {
                const qint64 across = (qint64(width) * sampling[c][0] + 8 * hMax - 1) / (8 * hMax);
                const qint64 down = (qint64(height) * sampling[c][1] + 8 * vMax - 1) / (8 * vMax);
                bytes += roundUp(across, std::max<int>(sampling[c][0], 1)) *
                         roundUp(down, std::max<int>(sampling[c][1], 1)) * 64 * 2;
            }
            if (bytes <= budget)
                return std::nullopt;
            DecoderClaim c;
            c.kind = DecoderClaim::Kind::Coefficients;
            c.format = QStringLiteral("JPEG");
            c.width = width;
            c.height = height;
            c.progressive = progressive;
            c.bytes = bytes;
            c.budget = budget;
            return c;
        }
        at += 2 + length;
    }
}

} // namespace

QString claimText(const DecoderClaim& c) {
    constexpr qint64 MiB = 1024 * 1024;
    if (c.kind == DecoderClaim::Kind::Coefficients)
        return QStringLiteral("JPEG 图片（%1*%2，%3）解码时需要 %4 MiB 内存保存系数，超过 %5 "
                              "MiB 的上限")
            .arg(QString::number(c.width), QString::number(c.height),
                 c.progressive ? QStringLiteral("渐进式") : QStringLiteral("各分量分开扫描"),
                 QString::number((c.bytes + MiB - 1) / MiB), QString::number(c.budget / MiB));
    const QString part = c.format +
                         (c.format == QLatin1String("JPEG") ? QStringLiteral(" 标记段 ")
                                                            : QStringLiteral(" 数据块 ")) +
                         c.part + u' ';
    return QStringLiteral("图片不完整（%1声称有 %2 字节，其后只剩 %3 字节）")
        .arg(part, QString::number(c.claimed), QString::number(c.left));
}

std::optional<DecoderClaim> decoderOverclaim(QIODevice& file, const QByteArray& format,
                                             qint64 budget) {
    FileBytes f(file);
    const QByteArray name = format.toLower();
    if (name == "png")
        return pngChunks(f, 0, f.size());
    if (name == "ico" || name == "cur")
        return iconImage(f);
    if (name == "webp")
        return webpChunks(f);
    if (name == "jpeg" || name == "jpg")
        return jpegSegments(f, budget);
    return std::nullopt;
}

} // namespace zentraq::rgbqumo

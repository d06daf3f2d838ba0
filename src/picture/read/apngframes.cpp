// APNG frames, read and composed here (see frames.h): the chunks are walked
// once; each frame becomes a PNG of its own (the file's header with the
// frame's size, the chunks the frames share, the frame's data as IDAT) that
// the picture loader decodes, and is drawn onto the canvas.
#include "frames.h"

#include "pictureloader.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace zentraq::rgbqumo {
namespace {

[[noreturn]] void damaged(const QString& what) {
    throw FramesError(RuntimeError::InvalidPicture, what);
}

std::uint32_t be32(const char* p) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(p);
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

int be16(const char* p) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(p);
    return b[0] << 8 | b[1];
}

void putBe32(QByteArray& out, std::uint32_t v) {
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

QByteArray chunk(const char* type, QByteArrayView data) {
    QByteArray out;
    putBe32(out, std::uint32_t(data.size()));
    QByteArray body(type, 4);
    body += data;
    out += body;
    putBe32(out, std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.constData()),
                                     uInt(body.size()))));
    return out;
}

struct ApngFrame {
    int w = 0, h = 0, x = 0, y = 0;
    int durationMs = 0;
    int dispose = 0; // 0 none, 1 background, 2 previous
    int blend = 0;   // 0 source, 1 over
    QList<QByteArrayView> data;
};

class ApngFrames : public FrameSource {
public:
    ApngFrames(const QByteArray& bytes, QString name) : m_bytes(bytes), m_name(std::move(name)) {}

    // False when the file has no animation control before its picture data:
    // a plain PNG.
    bool walk() {
        const qsizetype size = m_bytes.size();
        const char* b = m_bytes.constData();
        qsizetype pos = 8;
        bool animated = false, seenData = false, defaultIsFrame = false;
        ApngFrame* current = nullptr;
        while (pos < size) {
            if (size - pos < 12)
                damaged(QStringLiteral("it is cut short in the chunk at byte %1").arg(pos));
            const std::uint32_t length = be32(b + pos);
            const QByteArray type(b + pos + 4, 4);
            if (length > std::uint32_t(size - pos - 12))
                damaged(QStringLiteral("its %1 chunk at byte %2 claims %3 bytes, and only %4 "
                                       "follow")
                            .arg(QString::fromLatin1(type))
                            .arg(pos)
                            .arg(length)
                            .arg(size - pos - 12));
            const QByteArrayView data(b + pos + 8, qsizetype(length));
            const QByteArrayView whole(b + pos, qsizetype(length) + 12);
            pos += qsizetype(length) + 12;
            if (type == "IHDR") {
                if (length != 13)
                    damaged(QStringLiteral("its IHDR chunk is %1 bytes long").arg(length));
                m_header = data.toByteArray();
                m_size = QSize(int(std::min<std::uint32_t>(be32(data.data()), 1u << 30)),
                               int(std::min<std::uint32_t>(be32(data.data() + 4), 1u << 30)));
            } else if (type == "acTL") {
                animated = !seenData;
            } else if (type == "fcTL") {
                if (length != 26)
                    damaged(QStringLiteral("its fcTL chunk at byte %1 is %2 bytes long")
                                .arg(pos - 12 - length)
                                .arg(length));
                if (int(m_frames.size()) == MaxFrames)
                    damaged(QStringLiteral("it has more than %1 frames").arg(MaxFrames));
                ApngFrame f;
                const char* d = data.data();
                f.w = int(std::min<std::uint32_t>(be32(d + 4), 1u << 30));
                f.h = int(std::min<std::uint32_t>(be32(d + 8), 1u << 30));
                f.x = int(std::min<std::uint32_t>(be32(d + 12), 1u << 30));
                f.y = int(std::min<std::uint32_t>(be32(d + 16), 1u << 30));
                const int numerator = be16(d + 20), denominator = be16(d + 22);
                f.durationMs =
                    int((qint64(numerator) * 1000 + (denominator ? denominator : 100) / 2) /
                        (denominator ? denominator : 100));
                f.dispose = std::uint8_t(d[24]);
                f.blend = std::uint8_t(d[25]);
                const int number = int(m_frames.size());
                if (f.w == 0 || f.h == 0 || qint64(f.x) + f.w > m_size.width() ||
                    qint64(f.y) + f.h > m_size.height())
                    damaged(QStringLiteral("its frame %1, %2 x %3 at (%4, %5), is not inside its "
                                           "%6 x %7 pixels")
                                .arg(number)
                                .arg(f.w)
                                .arg(f.h)
                                .arg(f.x)
                                .arg(f.y)
                                .arg(m_size.width())
                                .arg(m_size.height()));
                if (f.dispose > 2 || f.blend > 1)
                    damaged(QStringLiteral("its frame %1 has dispose %2 and blend %3")
                                .arg(number)
                                .arg(f.dispose)
                                .arg(f.blend));
                m_frames.push_back(f);
                current = &m_frames.back();
            } else if (type == "IDAT") {
                // The default picture is the first frame when a frame
                // control came before it.
                if (!seenData)
                    defaultIsFrame = current != nullptr;
                if (defaultIsFrame)
                    current->data << data;
                seenData = true;
            } else if (type == "fdAT") {
                if (length < 4)
                    damaged(QStringLiteral("its fdAT chunk at byte %1 is %2 bytes long")
                                .arg(pos - 12 - length)
                                .arg(length));
                if (!current)
                    damaged(QStringLiteral("its frame data at byte %1 comes before any frame "
                                           "control")
                                .arg(pos - 12 - length));
                current->data << data.sliced(4);
            } else if (type == "IEND") {
                break;
            } else if (!seenData && type != "acTL") {
                m_shared += whole.toByteArray(); // PLTE, tRNS, gAMA, ...: every frame's too
            }
        }
        if (!animated || m_frames.empty())
            return false;
        qint64 claimed = 0;
        for (const ApngFrame& f : m_frames)
            claimed += qint64(f.w) * f.h;
        if (claimed > MaxDecodedPixels)
            damaged(QStringLiteral("its frames claim more than the %1 pixels the tool decodes "
                                   "together")
                        .arg(MaxDecodedPixels));
        for (std::size_t i = 0; i < m_frames.size(); ++i)
            if (m_frames[i].data.isEmpty())
                damaged(QStringLiteral("its frame %1 has no picture data").arg(i));
        checkFramePixels(m_size, 1);
        return true;
    }

    QSize size() const override { return m_size; }
    int count() const override { return int(m_frames.size()); }

    Frame next() override {
        if (m_next >= count())
            throw std::logic_error("no frame is left");
        const int n = m_next++;
        if (n == 0) {
            m_canvas = QImage(m_size, QImage::Format_ARGB32);
            if (m_canvas.isNull())
                damaged(QStringLiteral("there is not enough memory for its canvas"));
            m_canvas.fill(0);
        } else {
            const ApngFrame& before = m_frames[std::size_t(n - 1)];
            const QRect r(before.x, before.y, before.w, before.h);
            if (before.dispose == 1 || (before.dispose == 2 && n == 1))
                fill(r, nullptr);
            else if (before.dispose == 2)
                fill(r, &m_saved);
        }
        const ApngFrame& f = m_frames[std::size_t(n)];
        if (f.dispose == 2)
            m_saved = m_canvas.copy();
        draw(f, decode(f, n));
        return {m_canvas.copy(), f.durationMs};
    }

private:
    QImage decode(const ApngFrame& f, int number) const {
        QByteArray header = m_header;
        header.replace(0, 8, QByteArray(8, '\0'));
        for (int i = 0; i < 4; ++i) {
            header[i] = char(std::uint32_t(f.w) >> (24 - 8 * i));
            header[4 + i] = char(std::uint32_t(f.h) >> (24 - 8 * i));
        }
        QByteArray png("\x89PNG\r\n\x1a\n", 8);
        png += chunk("IHDR", header) + m_shared;
        for (const QByteArrayView& piece : f.data)
            png += chunk("IDAT", piece);
        png += chunk("IEND", {});
        QImage picture;
        try {
            picture = LoadPictureData(png, m_name).convertToFormat(QImage::Format_ARGB32);
        } catch (const RuntimeError&) {
            damaged(QStringLiteral("its frame %1 cannot be decoded").arg(number));
        }
        if (picture.size() != QSize(f.w, f.h))
            damaged(QStringLiteral("its frame %1 decodes to another size").arg(number));
        return picture;
    }

    // Clears `r` to transparent black, or restores it from `from`.
    void fill(const QRect& r, const QImage* from) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(m_canvas.scanLine(y));
            const auto* old =
                from ? reinterpret_cast<const QRgb*>(from->constScanLine(y)) : nullptr;
            for (int x = r.left(); x <= r.right(); ++x)
                row[x] = old ? old[x] : 0;
        }
    }

    void draw(const ApngFrame& f, const QImage& picture) {
        for (int y = 0; y < f.h; ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
            auto* out = reinterpret_cast<QRgb*>(m_canvas.scanLine(f.y + y)) + f.x;
            for (int x = 0; x < f.w; ++x)
                out[x] = f.blend == 0 ? in[x] : over(in[x], out[x]);
        }
    }

    // Unpremultiplied source over destination, rounded (see frames.h).
    static QRgb over(QRgb s, QRgb d) {
        const int as = qAlpha(s), ad = qAlpha(d);
        if (as == 255 || ad == 0)
            return s;
        if (as == 0)
            return d;
        const int a255 = as * 255 + ad * (255 - as);
        auto channel = [&](int cs, int cd) {
            return (cs * as * 255 + cd * ad * (255 - as) + a255 / 2) / a255;
        };
        return qRgba(channel(qRed(s), qRed(d)), channel(qGreen(s), qGreen(d)),
                     channel(qBlue(s), qBlue(d)), (a255 + 127) / 255);
    }

    QByteArray m_bytes;
    QString m_name;
    QByteArray m_header; // IHDR's 13 bytes
    QByteArray m_shared; // the chunks every frame's PNG carries
    QSize m_size;
    std::vector<ApngFrame> m_frames;
    int m_next = 0;
    QImage m_canvas;
    QImage m_saved;
};

} // namespace

std::unique_ptr<FrameSource> openApngFrames(const QByteArray& bytes, const QString& name) {
    if (!bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return nullptr;
    auto frames = std::make_unique<ApngFrames>(bytes, name);
    if (!frames->walk())
        return nullptr;
    return frames;
}

} // namespace zentraq::rgbqumo

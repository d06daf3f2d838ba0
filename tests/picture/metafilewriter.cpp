#include "metafilewriter.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <functional>

namespace zentraq::testing {
namespace {

void put16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}
void put32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
quint32 colorref(QRgb c) {
    return quint32(qRed(c)) | quint32(qGreen(c)) << 8 | quint32(qBlue(c)) << 16;
}
void rect32(QByteArray& out, int l, int t, int r, int b) {
    put32(out, quint32(l));
    put32(out, quint32(t));
    put32(out, quint32(r));
    put32(out, quint32(b));
}

// A 24-bit device-independent bitmap of `image`: header and rows from the
// bottom, each padded to four bytes.
QByteArray dib24(const QImage& image) {
    QByteArray out;
    put32(out, 40);
    put32(out, quint32(image.width()));
    put32(out, quint32(image.height()));
    put16(out, 1);
    put16(out, 24);
    for (int i = 0; i < 6; ++i)
        put32(out, 0);
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            row.append(char(qBlue(p))).append(char(qGreen(p))).append(char(qRed(p)));
        }
        while (row.size() % 4)
            row.append('\0');
        out += row;
    }
    return out;
}

} // namespace

// ---- WMF -----------------------------------------------------------------

void WmfWriter::raw(quint16 function, QByteArray params) {
    if (params.size() % 2)
        params.append('\0');
    const quint32 words = 3 + quint32(params.size() / 2);
    put32(m_records, words);
    put16(m_records, function);
    m_records += params;
    m_largest = std::max(m_largest, words);
}

void WmfWriter::record(quint16 function, const QList<qint16>& words) {
    QByteArray params;
    for (qint16 w : words)
        put16(params, quint16(w));
    raw(function, params);
}

int WmfWriter::take() {
    const auto free = std::find(m_slots.begin(), m_slots.end(), false);
    if (free != m_slots.end()) {
        *free = true;
        return int(free - m_slots.begin());
    }
    m_slots << true;
    return int(m_slots.size() - 1);
}

void WmfWriter::mapMode(int mode) {
    record(0x0103, {qint16(mode)});
}
void WmfWriter::windowOrg(int x, int y) {
    record(0x020B, {qint16(y), qint16(x)});
}
void WmfWriter::windowExt(int w, int h) {
    record(0x020C, {qint16(h), qint16(w)});
}
int WmfWriter::brush(QRgb colour, int style, int hatch) {
    const quint32 c = colorref(colour);
    record(0x02FC, {qint16(style), qint16(c & 0xFFFF), qint16(c >> 16), qint16(hatch)});
    return take();
}
int WmfWriter::pen(QRgb colour, int width, int style) {
    const quint32 c = colorref(colour);
    record(0x02FA, {qint16(style), qint16(width), 0, qint16(c & 0xFFFF), qint16(c >> 16)});
    return take();
}
int WmfWriter::font(int height, const QByteArray& face, int charset, int escapement) {
    QByteArray params;
    for (int v : {height, 0, escapement, escapement, 400})
        put16(params, quint16(v));
    params.append(char(0)).append(char(0));       // italic, underline
    params.append(char(0)).append(char(charset)); // strike out, character set
    params.append(char(0)).append(char(0));       // precisions
    params.append(char(0)).append(char(0));       // quality, pitch
    params += face.left(31).leftJustified(32, '\0');
    raw(0x02FB, params);
    return take();
}
void WmfWriter::select(int slot) {
    record(0x012D, {qint16(slot)});
}
void WmfWriter::rectangle(int left, int top, int right, int bottom) {
    record(0x041B, {qint16(bottom), qint16(right), qint16(top), qint16(left)});
}
void WmfWriter::ellipse(int left, int top, int right, int bottom) {
    record(0x0418, {qint16(bottom), qint16(right), qint16(top), qint16(left)});
}
void WmfWriter::polyline(const QList<QPoint>& points) {
    QList<qint16> words{qint16(points.size())};
    for (const QPoint& p : points)
        words << qint16(p.x()) << qint16(p.y());
    record(0x0325, words);
}
void WmfWriter::polygon(const QList<QPoint>& points) {
    QList<qint16> words{qint16(points.size())};
    for (const QPoint& p : points)
        words << qint16(p.x()) << qint16(p.y());
    record(0x0324, words);
}
void WmfWriter::textColour(QRgb colour) {
    const quint32 c = colorref(colour);
    record(0x0209, {qint16(c & 0xFFFF), qint16(c >> 16)});
}
void WmfWriter::backgroundMode(int mode) {
    record(0x0102, {qint16(mode)});
}
void WmfWriter::textOut(int x, int y, const QByteArray& text) {
    QByteArray params;
    put16(params, quint16(text.size()));
    params += text;
    if (params.size() % 2)
        params.append('\0');
    put16(params, quint16(y));
    put16(params, quint16(x));
    raw(0x0521, params);
}

QByteArray WmfWriter::bytes() const {
    QByteArray out;
    const quint32 words = 9 + quint32(m_records.size() / 2) + 3;
    put16(out, 1);      // in memory
    put16(out, 9);      // header words
    put16(out, 0x0300); // version
    put32(out, words);
    put16(out, quint16(m_slots.size()));
    put32(out, m_largest);
    put16(out, 0);
    out += m_records;
    put32(out, 3); // end record
    put16(out, 0);
    return out;
}

QByteArray WmfWriter::placeable(const QRect& box, int inch) const {
    QByteArray head;
    put32(head, 0x9AC6CDD7);
    put16(head, 0);
    for (int v : {box.left(), box.top(), box.left() + box.width(), box.top() + box.height()})
        put16(head, quint16(v));
    put16(head, quint16(inch));
    put32(head, 0);
    quint16 checksum = 0;
    for (int i = 0; i < head.size(); i += 2)
        checksum ^= qFromLittleEndian<quint16>(head.constData() + i);
    put16(head, checksum);
    return head + bytes();
}

// ---- EMF -----------------------------------------------------------------

void EmfWriter::record(quint32 type, QByteArray body) {
    while (body.size() % 4)
        body.append('\0');
    put32(m_records, type);
    put32(m_records, quint32(8 + body.size()));
    m_records += body;
    ++m_count;
}

void EmfWriter::mapMode(int mode) {
    QByteArray b;
    put32(b, quint32(mode));
    record(17, b);
}
void EmfWriter::windowExt(int w, int h) {
    QByteArray b;
    put32(b, quint32(w));
    put32(b, quint32(h));
    record(9, b);
}
void EmfWriter::viewportExt(int w, int h) {
    QByteArray b;
    put32(b, quint32(w));
    put32(b, quint32(h));
    record(11, b);
}
quint32 EmfWriter::brush(QRgb colour) {
    QByteArray b;
    put32(b, ++m_objects);
    put32(b, 0); // solid
    put32(b, colorref(colour));
    put32(b, 0);
    record(39, b);
    return m_objects;
}
quint32 EmfWriter::pen(QRgb colour, int width, int style) {
    QByteArray b;
    put32(b, ++m_objects);
    put32(b, quint32(style));
    put32(b, quint32(width));
    put32(b, 0);
    put32(b, colorref(colour));
    record(38, b);
    return m_objects;
}
quint32 EmfWriter::font(int height, const QString& face) {
    QByteArray b;
    put32(b, ++m_objects);
    for (int v : {height, 0, 0, 0, 400})
        put32(b, quint32(v));
    b += QByteArray(8, '\0'); // italic ... pitch and family
    QByteArray name(reinterpret_cast<const char*>(face.left(31).utf16()), face.left(31).size() * 2);
    b += name.leftJustified(64, '\0');
    record(82, b);
    return m_objects;
}
void EmfWriter::select(quint32 index) {
    QByteArray b;
    put32(b, index);
    record(37, b);
}
void EmfWriter::rectangle(int left, int top, int right, int bottom) {
    QByteArray b;
    rect32(b, left, top, right, bottom);
    record(43, b);
}
void EmfWriter::ellipse(int left, int top, int right, int bottom) {
    QByteArray b;
    rect32(b, left, top, right, bottom);
    record(42, b);
}
namespace {
// The body of a record of 16-bit points: bounds, count, points.
QByteArray points16(const QList<QPoint>& points) {
    QByteArray b;
    QRect box;
    for (const QPoint& p : points)
        box |= QRect(p, QSize(1, 1));
    rect32(b, box.left(), box.top(), box.right(), box.bottom());
    put32(b, quint32(points.size()));
    for (const QPoint& p : points) {
        put16(b, quint16(p.x()));
        put16(b, quint16(p.y()));
    }
    return b;
}
} // namespace
void EmfWriter::polyline16(const QList<QPoint>& points) {
    record(87, points16(points));
}
void EmfWriter::polygon16(const QList<QPoint>& points) {
    record(86, points16(points));
}
void EmfWriter::textColour(QRgb colour) {
    QByteArray b;
    put32(b, colorref(colour));
    record(24, b);
}
void EmfWriter::backgroundMode(int mode) {
    QByteArray b;
    put32(b, quint32(mode));
    record(18, b);
}
void EmfWriter::textOut(int x, int y, const QString& text, bool glyphs) {
    constexpr quint32 StringAt = 76; // fixed part of the record, header included
    const QByteArray chars(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    const quint32 dxAt = StringAt + quint32((chars.size() + 3) / 4 * 4);
    QByteArray b;
    rect32(b, 0, 0, -1, -1); // bounds not given
    put32(b, 1);             // compatible graphics mode
    put32(b, 0);             // scales
    put32(b, 0);
    put32(b, quint32(x));
    put32(b, quint32(y));
    put32(b, quint32(text.size()));
    put32(b, StringAt);
    put32(b, glyphs ? 0x10 : 0); // ETO_GLYPH_INDEX
    rect32(b, 0, 0, -1, -1);
    put32(b, dxAt);
    b += chars;
    while (b.size() + 8 < qsizetype(dxAt))
        b.append('\0');
    for (qsizetype i = 0; i < text.size(); ++i)
        put32(b, 0);
    record(84, b);
}
void EmfWriter::stretchDiBits(const QRect& target, const QImage& bitmap) {
    const QByteArray dib = dib24(bitmap);
    const quint32 header = 40, bmiAt = 80, bitsAt = bmiAt + header;
    QByteArray b;
    rect32(b, target.left(), target.top(), target.right(), target.bottom());
    for (int v : {target.x(), target.y(), 0, 0, bitmap.width(), bitmap.height()})
        put32(b, quint32(v));
    put32(b, bmiAt);
    put32(b, header);
    put32(b, bitsAt);
    put32(b, quint32(dib.size() - header));
    put32(b, 0);          // colours are RGB values
    put32(b, 0x00CC0020); // SRCCOPY
    put32(b, quint32(target.width()));
    put32(b, quint32(target.height()));
    b += dib;
    record(81, b);
}

namespace {

QByteArray emfPlusRecord(quint16 type, quint16 flags, const QByteArray& data) {
    QByteArray r;
    put16(r, type);
    put16(r, flags);
    put32(r, quint32(12 + data.size()));
    put32(r, quint32(data.size()));
    return r + data;
}

QByteArray emfPlusComment(const QByteArray& records) {
    QByteArray b;
    put32(b, quint32(4 + records.size()));
    put32(b, 0x2B464D45); // "EMF+"
    return b + records;
}

} // namespace

void EmfWriter::emfPlusFill(const QRectF& rect, QRgb colour) {
    QByteArray header;
    put32(header, 0xDBC01002); // version
    put32(header, 1);          // made for video display
    put32(header, 96);         // dots per inch
    put32(header, 96);
    QByteArray fill;
    put32(fill, colour | 0xFF000000); // the brush is this colour
    put32(fill, 1);
    for (double v : {rect.x(), rect.y(), rect.width(), rect.height()}) {
        const float f = float(v);
        quint32 bits;
        std::memcpy(&bits, &f, 4);
        put32(fill, bits);
    }
    record(70,
           emfPlusComment(emfPlusRecord(0x4001, 1, header) + emfPlusRecord(0x400A, 0x8000, fill)));
}

void EmfWriter::emfPlusEnd() {
    record(70, emfPlusComment(emfPlusRecord(0x4002, 0, {})));
}

QByteArray EmfWriter::bytes(const QRect& frame, QSize device, QSize millimetres) const {
    QByteArray eof;
    put32(eof, 14);
    put32(eof, 20);
    put32(eof, 0);
    put32(eof, 16);
    put32(eof, 20);
    constexpr quint32 HeaderBytes = 108;
    const quint32 total = HeaderBytes + quint32(m_records.size() + eof.size());
    QByteArray h;
    put32(h, 1);
    put32(h, HeaderBytes);
    // Bounds in device pixels: the frame's.
    const double px = double(device.width()) / (millimetres.width() * 100.0);
    const double py = double(device.height()) / (millimetres.height() * 100.0);
    rect32(h, int(frame.left() * px), int(frame.top() * py),
           int((frame.left() + frame.width()) * px) - 1,
           int((frame.top() + frame.height()) * py) - 1);
    rect32(h, frame.left(), frame.top(), frame.left() + frame.width(),
           frame.top() + frame.height());
    put32(h, 0x464D4520); // " EMF"
    put32(h, 0x10000);
    put32(h, total);
    put32(h, quint32(m_count + 2));
    put16(h, quint16(m_objects + 1));
    put16(h, 0);
    put32(h, 0); // no description
    put32(h, 0);
    put32(h, 0); // no palette
    put32(h, quint32(device.width()));
    put32(h, quint32(device.height()));
    put32(h, quint32(millimetres.width()));
    put32(h, quint32(millimetres.height()));
    put32(h, 0); // no pixel format
    put32(h, 0);
    put32(h, 0);
    put32(h, quint32(millimetres.width() * 1000));
    put32(h, quint32(millimetres.height() * 1000));
    return h + m_records + eof;
}

// ---- the sample drawing ------------------------------------------------------

namespace {

const QRgb Black = qRgb(0, 0, 0), Red = qRgb(255, 0, 0), Blue = qRgb(0, 0, 255),
           Green = qRgb(0, 128, 0), Yellow = qRgb(255, 255, 0), Magenta = qRgb(255, 0, 255),
           Cyan = qRgb(0, 255, 255), Navy = qRgb(0, 0, 128), Orange = qRgb(255, 128, 0);

// The sample drawing into `w`; `at` turns picture pixels into the file's
// logical units.
template <typename Writer> void drawScene(Writer& w, const std::function<QPoint(int, int)>& at) {
    auto rect = [&](auto method, int l, int t, int r, int b) {
        const QPoint p = at(l, t), q = at(r, b);
        (w.*method)(p.x(), p.y(), q.x(), q.y());
    };
    const auto pen = w.pen(Black);
    const auto red = w.brush(Red);
    w.select(pen);
    w.select(red);
    rect(&Writer::rectangle, 20, 20, 80, 60);
    const auto blue = w.brush(Blue);
    w.select(blue);
    if constexpr (std::is_same_v<Writer, EmfWriter>) {
        w.select(EmfWriter::NullPen);
    } else {
        const int none = w.pen(Black, 0, 5); // PS_NULL
        w.select(none);
    }
    rect(&Writer::rectangle, 100, 20, 180, 70);
    const auto green = w.pen(Green);
    w.select(green);
    const QList<QPoint> line{at(10, 130), at(50, 90), at(90, 130)};
    if constexpr (std::is_same_v<Writer, EmfWriter>)
        w.polyline16(line);
    else
        w.polyline(line);
    const auto yellow = w.brush(Yellow);
    w.select(yellow);
    if constexpr (std::is_same_v<Writer, EmfWriter>) {
        w.select(EmfWriter::NullPen);
    } else {
        const int none = w.pen(Black, 0, 5);
        w.select(none);
    }
    rect(&Writer::ellipse, 100, 90, 130, 120);
    w.textColour(Black);
    w.backgroundMode(1);
    const int height = at(0, 20).y() - at(0, 0).y();
    const QPoint text = at(20, 66);
    if constexpr (std::is_same_v<Writer, EmfWriter>) {
        w.select(w.font(-std::abs(height), QStringLiteral("DejaVu Sans")));
        w.textOut(text.x(), text.y(), QStringLiteral("Zq"));
        QImage bitmap(2, 2, QImage::Format_RGB32);
        bitmap.setPixel(0, 0, Magenta);
        bitmap.setPixel(1, 0, Cyan);
        bitmap.setPixel(0, 1, Navy);
        bitmap.setPixel(1, 1, Orange);
        const QPoint p = at(140, 90), q = at(180, 130);
        w.stretchDiBits(QRect(p, q - QPoint(1, 1)), bitmap);
    } else {
        w.select(w.font(-std::abs(height), "DejaVu Sans"));
        w.textOut(text.x(), text.y(), "Zq");
    }
}

} // namespace

QStringList sceneKinds() {
    return {QStringLiteral("placeable 1440 per inch"),
            QStringLiteral("placeable anisotropic, window off the origin"),
            QStringLiteral("placeable, y up"),
            QStringLiteral("plain"),
            QStringLiteral("emf"),
            QStringLiteral("emf anisotropic"),
            QStringLiteral("emf frame off the origin")};
}

QByteArray sceneMetafile(const QString& kind) {
    if (kind.startsWith(QLatin1String("emf"))) {
        EmfWriter w;
        std::function<QPoint(int, int)> at = [](int x, int y) { return QPoint(x, y); };
        QRect frame(0, 0, 5080, 3810); // 192 x 144 pixels at 96 dpi
        if (kind == QLatin1String("emf anisotropic")) {
            w.mapMode(8);
            w.windowExt(1920, 1440);
            w.viewportExt(192, 144);
            at = [](int x, int y) { return QPoint(x * 10, y * 10); };
        } else if (kind == QLatin1String("emf frame off the origin")) {
            frame.moveTo(2540, 1270); // (96, 48) in device pixels
            at = [](int x, int y) { return QPoint(x + 96, y + 48); };
        }
        drawScene(w, at);
        return w.bytes(frame);
    }
    WmfWriter w;
    if (kind == QLatin1String("placeable 1440 per inch")) {
        w.windowOrg(0, 0);
        w.windowExt(2880, 2160);
        drawScene(w, [](int x, int y) { return QPoint(x * 15, y * 15); });
        return w.placeable(QRect(0, 0, 2880, 2160), 1440);
    }
    if (kind == QLatin1String("placeable anisotropic, window off the origin")) {
        w.mapMode(8);
        w.windowOrg(-1000, 500);
        w.windowExt(1920, 1440);
        drawScene(w, [](int x, int y) { return QPoint(x * 10 - 1000, y * 10 + 500); });
        return w.placeable(QRect(-1000, 500, 1920, 1440), 960);
    }
    if (kind == QLatin1String("placeable, y up")) {
        w.mapMode(8);
        w.windowOrg(0, 1440);
        w.windowExt(1920, -1440);
        drawScene(w, [](int x, int y) { return QPoint(x * 10, 1440 - y * 10); });
        return w.placeable(QRect(0, 0, 1920, 1440), 960);
    }
    // Without a placeable header: the window's extent in pixels.
    w.mapMode(8);
    w.windowOrg(0, 0);
    w.windowExt(192, 144);
    drawScene(w, [](int x, int y) { return QPoint(x, y); });
    return w.bytes();
}

} // namespace zentraq::testing

#include "metafilewriter.h"

#include <QFile>
#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>

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

} // namespace

// ---- WMF -----------------------------------------------------------------

void WmfWriter::record(quint16 function, const QList<qint16>& params) {
    const quint32 words = 3 + quint32(params.size());
    put32(m_records, words);
    put16(m_records, function);
    for (qint16 w : params)
        put16(m_records, quint16(w));
    m_largest = std::max(m_largest, words);
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

int WmfWriter::brush(QRgb colour, int style, int hatch) {
    const quint32 c = colorref(colour);
    record(0x02FC, {qint16(style), qint16(c & 0xFFFF), qint16(c >> 16), qint16(hatch)});
    return take();
}
void WmfWriter::select(int slot) {
    record(0x012D, {qint16(slot)});
}
void WmfWriter::rectangle(int left, int top, int right, int bottom) {
    record(0x041B, {qint16(bottom), qint16(right), qint16(top), qint16(left)});
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

quint32 EmfWriter::brush(QRgb colour) {
    QByteArray b;
    put32(b, ++m_objects);
    put32(b, 0); // solid
    put32(b, colorref(colour));
    put32(b, 0);
    record(39, b);
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
void EmfWriter::textOut(int x, int y, const QString& text) {
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
    put32(b, 0); // options
    rect32(b, 0, 0, -1, -1);
    put32(b, dxAt);
    b += chars;
    while (b.size() + 8 < qsizetype(dxAt))
        b.append('\0');
    for (qsizetype i = 0; i < text.size(); ++i)
        put32(b, 0);
    record(84, b);
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

QByteArray sceneMetafile(const QString& kind) {
    QString name = kind;
    name.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
    const bool emf = kind.startsWith(QLatin1String("emf"));
    QFile f(QStringLiteral(METAFILE_SEEDS "/scene-") + name +
            (emf ? QStringLiteral(".emf") : QStringLiteral(".wmf")));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("no seed metafile %s", qPrintable(f.fileName()));
    return f.readAll();
}

} // namespace zentraq::testing

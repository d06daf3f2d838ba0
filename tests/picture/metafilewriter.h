#pragma once

// Writes WMF and EMF files record by record, as the formats lay them out, so
// that tests use metafiles made here and nowhere else.
// Coordinates are logical units; colours are QRgb. Object indexes are the
// ones the formats give: a WMF object takes the lowest free slot, an EMF
// object the number the writer hands out.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

namespace zentraq::testing {

class WmfWriter {
public:
    int brush(QRgb colour, int style = 0, int hatch = 0); // returns the object's slot
    void select(int slot);
    void rectangle(int left, int top, int right, int bottom);

    // The metafile: its header, the records, the end record.
    QByteArray bytes() const;
    // The same behind a placeable header with `box` in units of `inch`.
    QByteArray placeable(const QRect& box, int inch) const;

private:
    // One record: its function and its parameter words as they stand in the
    // file (the format lists most of them last to first).
    void record(quint16 function, const QList<qint16>& params);
    int take();

    QByteArray m_records;
    QList<bool> m_slots;
    quint32 m_largest = 3;
};

class EmfWriter {
public:
    // One record: its type and body (padded to four bytes).
    void record(quint32 type, QByteArray body);

    quint32 brush(QRgb colour); // returns the object's index
    void select(quint32 index); // 0x80000000 | n: stock object n
    void rectangle(int left, int top, int right, int bottom);
    void textOut(int x, int y, const QString& text);

    // The metafile: header (frame in 0.01 mm, reference device in pixels
    // and millimetres), the records, the end record.
    QByteArray bytes(const QRect& frame, QSize device = {960, 960},
                     QSize millimetres = {254, 254}) const;

private:
    QByteArray m_records;
    int m_count = 0;
    quint32 m_objects = 0;
};

// The sample drawing of the fuzz seeds (fuzz/corpus/metafile/scene-*), as
// each kind holds it in other logical units and another mapping: in pixels
// of its 192 x 144 picture, a red rectangle with a black outline at (20,
// 20)-(80, 60), a blue one without outline at (100, 20)-(180, 70), a green
// polyline, a yellow ellipse in (100, 90)-(130, 120), black text "Zq"; an
// EMF also a 2 x 2 bitmap stretched onto (140, 90)-(180, 130).
QByteArray sceneMetafile(const QString& kind);

} // namespace zentraq::testing

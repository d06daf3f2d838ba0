#include "metafileformat.h"

#include <QList>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <tuple>

namespace zentraq::metafile {
namespace {

constexpr quint32 PlaceableKey = 0x9AC6CDD7;
constexpr qsizetype PlaceableHeaderBytes = 22;
constexpr qsizetype WmfHeaderBytes = 18;
constexpr quint32 EmfSignature = 0x464D4520; // " EMF"
constexpr qsizetype EmfHeaderMinimum = 88;
constexpr quint32 EmrHeader = 1;
constexpr quint32 EmrEof = 14;

// Dots per inch of the picture, and 0.01 mm per inch.
constexpr double PictureDpi = 96.0;
constexpr double HimetricPerInch = 2540.0;

// Little-endian fields; the caller has checked that they lie inside `data`.
quint16 u16(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<quint16>(data.constData() + at);
}
qint16 s16(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<qint16>(data.constData() + at);
}
quint32 u32(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<quint32>(data.constData() + at);
}
qint32 s32(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<qint32>(data.constData() + at);
}

using K = Problem::Kind;

Problem problem(K kind, qint64 a = 0, qint64 b = 0, qint64 c = 0, qint64 d = 0) {
    Problem p;
    p.kind = kind;
    p.n = {a, b, c, d};
    return p;
}

// WMF records that only set up state (mapping, colours, modes, objects,
// clipping, the current position) and draw nothing. Every other record,
// known or not, counts as drawing.
bool wmfSetsStateOnly(quint16 function) {
    switch (function) {
    case 0x001E: // SAVEDC
    case 0x0035: // REALIZEPALETTE
    case 0x0037: // SETPALENTRIES
    case 0x00F7: // CREATEPALETTE
    case 0x0102: // SETBKMODE
    case 0x0103: // SETMAPMODE
    case 0x0104: // SETROP2
    case 0x0105: // SETRELABS
    case 0x0106: // SETPOLYFILLMODE
    case 0x0107: // SETSTRETCHBLTMODE
    case 0x0108: // SETTEXTCHAREXTRA
    case 0x0127: // RESTOREDC
    case 0x012C: // SELECTCLIPREGION
    case 0x012D: // SELECTOBJECT
    case 0x012E: // SETTEXTALIGN
    case 0x0139: // RESIZEPALETTE
    case 0x0142: // DIBCREATEPATTERNBRUSH
    case 0x01F0: // DELETEOBJECT
    case 0x01F9: // CREATEPATTERNBRUSH
    case 0x0201: // SETBKCOLOR
    case 0x0209: // SETTEXTCOLOR
    case 0x020A: // SETTEXTJUSTIFICATION
    case 0x020B: // SETWINDOWORG
    case 0x020C: // SETWINDOWEXT
    case 0x020D: // SETVIEWPORTORG
    case 0x020E: // SETVIEWPORTEXT
    case 0x020F: // OFFSETWINDOWORG
    case 0x0211: // OFFSETVIEWPORTORG
    case 0x0214: // MOVETO
    case 0x0220: // OFFSETCLIPRGN
    case 0x0231: // SETMAPPERFLAGS
    case 0x0234: // SELECTPALETTE
    case 0x02FA: // CREATEPENINDIRECT
    case 0x02FB: // CREATEFONTINDIRECT
    case 0x02FC: // CREATEBRUSHINDIRECT
    case 0x0410: // SCALEWINDOWEXT
    case 0x0412: // SCALEVIEWPORTEXT
    case 0x0415: // EXCLUDECLIPRECT
    case 0x0416: // INTERSECTCLIPRECT
    case 0x0436: // ANIMATEPALETTE
    case 0x0626: // ESCAPE
    case 0x06FF: // CREATEREGION
        return true;
    default:
        return false;
    }
}

// The window as the WMF's records move it, up to the first record that draws.
class WindowTracker {
public:
    explicit WindowTracker(std::optional<WmfWindow> initial) : m_window(initial) {}

    // Applies the record at `at` with `words` 16-bit words in all.
    void apply(const QByteArray& data, qsizetype at, quint16 function, quint32 words) {
        const qsizetype p = at + 6; // parameters, in reverse order
        switch (function) {
        case 0x020B: // SETWINDOWORG y, x
            if (words >= 5) {
                WmfWindow& w = window();
                w.y = s16(data, p);
                w.x = s16(data, p + 2);
            }
            break;
        case 0x020C: // SETWINDOWEXT y, x
            if (words >= 5) {
                WmfWindow& w = window();
                w.height = s16(data, p);
                w.width = s16(data, p + 2);
                m_hasExtent = true;
            }
            break;
        case 0x020F: // OFFSETWINDOWORG y, x
            if (words >= 5) {
                WmfWindow& w = window();
                w.y += s16(data, p);
                w.x += s16(data, p + 2);
            }
            break;
        case 0x0410: // SCALEWINDOWEXT yDenom, yNum, xDenom, xNum
            if (words >= 7 && m_window) {
                const int yDenom = s16(data, p), yNum = s16(data, p + 2);
                const int xDenom = s16(data, p + 4), xNum = s16(data, p + 6);
                if (xDenom != 0 && yDenom != 0) {
                    m_window->width = int(qint64(m_window->width) * xNum / xDenom);
                    m_window->height = int(qint64(m_window->height) * yNum / yDenom);
                }
            }
            break;
        case 0x001E: // SAVEDC
            if (m_saved.size() < 1024)
                m_saved.append({m_window, m_hasExtent});
            break;
        case 0x0127: // RESTOREDC: -1 is the last saved state
            if (words >= 4 && !m_saved.isEmpty()) {
                const int which = s16(data, p);
                const qsizetype index = which < 0 ? m_saved.size() + which : which - 1;
                if (index >= 0 && index < m_saved.size()) {
                    std::tie(m_window, m_hasExtent) = m_saved[index];
                    m_saved.resize(index);
                }
            }
            break;
        default:
            break;
        }
    }

    const std::optional<WmfWindow>& current() const { return m_window; }
    bool hasExtent() const { return m_hasExtent; }

private:
    WmfWindow& window() {
        if (!m_window)
            m_window = WmfWindow{};
        return *m_window;
    }

    std::optional<WmfWindow> m_window;
    bool m_hasExtent = false;
    QList<std::pair<std::optional<WmfWindow>, bool>> m_saved;
};

std::variant<Layout, Problem> inspectWmf(const QByteArray& data, bool placeable) {
    Layout layout;
    layout.kind = placeable ? Kind::PlaceableWmf : Kind::Wmf;
    const qsizetype start = placeable ? PlaceableHeaderBytes : 0;
    if (data.size() < start + WmfHeaderBytes)
        return problem(K::HeaderCutShort, data.size(), start + WmfHeaderBytes);

    std::optional<WmfWindow> initial;
    if (placeable) {
        const int left = s16(data, 6), top = s16(data, 8);
        const int right = s16(data, 10), bottom = s16(data, 12);
        const int inch = u16(data, 14);
        if (inch == 0)
            return problem(K::NoUnitsPerInch);
        layout.width = float(std::abs(right - left) * PictureDpi / inch);
        layout.height = float(std::abs(bottom - top) * PictureDpi / inch);
        // The picture's bounding box is the window until the records set one.
        initial = WmfWindow{left, top, right - left, bottom - top};
    }

    const quint16 type = u16(data, start);
    const quint16 headerWords = u16(data, start + 2);
    const quint16 version = u16(data, start + 4);
    if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x0100 && version != 0x0300))
        return problem(K::BadWmfHeader, type, headerWords, version);
    const qint64 sizeWords = u32(data, start + 6);
    const qint64 maxRecordWords = u32(data, start + 12);
    const qint64 end = start + sizeWords * 2;
    if (sizeWords * 2 < WmfHeaderBytes)
        return problem(K::WmfSizeBelowHeader, sizeWords);
    if (end > data.size())
        return problem(K::CutShort, data.size(), end);

    WindowTracker tracker(initial);
    bool drawn = false;
    qint64 largest = 0;
    qint64 count = 0;
    for (qsizetype at = start + WmfHeaderBytes;;) {
        if (at + 6 > end)
            return problem(K::NoEndRecord, count);
        const qint64 words = u32(data, at);
        const quint16 function = u16(data, at + 4);
        ++count;
        if (words < 3 || at + words * 2 > end)
            return problem(K::WmfRecordPastEnd, count, at, words, end);
        largest = std::max(largest, words);
        if (largest > maxRecordWords)
            return problem(K::WmfRecordTooLong, count, words, maxRecordWords);
        if (!drawn && !wmfSetsStateOnly(function)) {
            drawn = true;
            layout.firstDrawing = at;
            if (tracker.current())
                layout.window = *tracker.current();
            if (!placeable) {
                if (!tracker.hasExtent())
                    return problem(K::NoSize);
                layout.width = float(std::abs(layout.window.width));
                layout.height = float(std::abs(layout.window.height));
            }
        }
        if (function == 0x0000) // the end record
            break;
        if (!drawn)
            tracker.apply(data, at, function, quint32(words));
        at += qsizetype(words) * 2;
    }
    return layout;
}

std::variant<Layout, Problem> inspectEmf(const QByteArray& data) {
    Layout layout;
    layout.kind = Kind::Emf;
    if (data.size() < EmfHeaderMinimum)
        return problem(K::HeaderCutShort, data.size(), EmfHeaderMinimum);
    const qint64 headerBytes = u32(data, 4);
    const qint64 bytes = u32(data, 48);
    const qint64 records = u32(data, 52);
    if (headerBytes < EmfHeaderMinimum || headerBytes % 4 != 0 || headerBytes > bytes)
        return problem(K::BadEmfHeaderSize, headerBytes);
    if (bytes > data.size())
        return problem(K::CutShort, data.size(), bytes);

    const qint64 left = s32(data, 24), top = s32(data, 28);
    const qint64 right = s32(data, 32), bottom = s32(data, 36);
    const qint32 deviceX = s32(data, 72), deviceY = s32(data, 76);
    const qint32 millimetresX = s32(data, 80), millimetresY = s32(data, 84);
    if (right <= left || bottom <= top)
        return problem(K::EmptyFrame, left, top, right, bottom);
    if (deviceX <= 0 || deviceY <= 0 || millimetresX <= 0 || millimetresY <= 0)
        return problem(K::NoReferenceDevice, deviceX, deviceY, millimetresX, millimetresY);
    layout.width = float(double(right - left) * PictureDpi / HimetricPerInch);
    layout.height = float(double(bottom - top) * PictureDpi / HimetricPerInch);
    // The frame in the reference device's pixels, the units the records draw in.
    const double perX = double(deviceX) / (millimetresX * 100.0);
    const double perY = double(deviceY) / (millimetresY * 100.0);
    layout.frame = QRectF(QPointF(left * perX, top * perY), QPointF(right * perX, bottom * perY));

    qint64 count = 0;
    for (qsizetype at = 0;;) {
        if (at + 8 > bytes)
            return problem(K::NoEndRecord, count);
        const quint32 type = u32(data, at);
        const qint64 size = u32(data, at + 4);
        ++count;
        if (size < 8 || size % 4 != 0 || at + size > bytes)
            return problem(K::EmfRecordPastEnd, count, at, size, bytes);
        if ((type == EmrHeader) != (at == 0))
            return problem(at == 0 ? K::NoHeaderFirst : K::SecondHeader, count, at);
        if (type == EmrEof)
            break;
        at += qsizetype(size);
    }
    if (count != records)
        return problem(K::WrongRecordCount, records, count);
    return layout;
}

} // namespace

bool looksLikeMetafile(const QByteArray& data, Kind* kind) {
    Kind found;
    if (data.size() >= 4 && u32(data, 0) == PlaceableKey)
        found = Kind::PlaceableWmf;
    else if (data.size() >= 44 && u32(data, 0) == EmrHeader && u32(data, 40) == EmfSignature)
        found = Kind::Emf;
    else if (data.size() >= 6 && (u16(data, 0) == 1 || u16(data, 0) == 2) && u16(data, 2) == 9 &&
             (u16(data, 4) == 0x0100 || u16(data, 4) == 0x0300))
        found = Kind::Wmf;
    else
        return false;
    if (kind)
        *kind = found;
    return true;
}

qint64 roundedSize(float size) {
    // nearbyint rounds halves to even in the default rounding mode.
    const double r = std::nearbyint(double(size));
    return r >= 0 && r <= double(std::numeric_limits<int>::max()) ? qint64(r) : -1;
}

std::variant<Layout, Problem> inspect(const QByteArray& data) {
    Kind kind;
    if (!looksLikeMetafile(data, &kind))
        return problem(K::NotAMetafile);
    auto inspected =
        kind == Kind::Emf ? inspectEmf(data) : inspectWmf(data, kind == Kind::PlaceableWmf);
    if (auto* layout = std::get_if<Layout>(&inspected)) {
        const qint64 w = roundedSize(layout->width), h = roundedSize(layout->height);
        if (w < 1 || h < 1) {
            Problem p = problem(K::BelowAPixel);
            p.width = layout->width;
            p.height = layout->height;
            return p;
        }
        layout->pixelWidth = int(w);
        layout->pixelHeight = int(h);
    }
    return inspected;
}

QByteArray withWindowMark(const QByteArray& data, const Layout& layout) {
    const WmfWindow& w = layout.window;
    const int x = std::min(w.x, w.x + w.width), y = std::min(w.y, w.y + w.height);
    const int width = std::abs(w.width), height = std::abs(w.height);
    auto fits = [](int v) { return v >= -32768 && v <= 32767; };
    if (!fits(x) || !fits(y) || !fits(width) || !fits(height))
        return {};

    const qsizetype start = layout.kind == Kind::PlaceableWmf ? PlaceableHeaderBytes : 0;
    constexpr quint32 MarkWords = 9;
    QByteArray mark(MarkWords * 2, Qt::Uninitialized);
    char* m = mark.data();
    qToLittleEndian<quint32>(MarkWords, m);
    qToLittleEndian<quint16>(0x061D, m + 4); // PATBLT
    qToLittleEndian<quint32>(MarkRasterOperation, m + 6);
    qToLittleEndian<qint16>(qint16(height), m + 10);
    qToLittleEndian<qint16>(qint16(width), m + 12);
    qToLittleEndian<qint16>(qint16(y), m + 14);
    qToLittleEndian<qint16>(qint16(x), m + 16);

    QByteArray out = data;
    out.insert(layout.firstDrawing, mark);
    char* header = out.data() + start;
    qToLittleEndian<quint32>(u32(data, start + 6) + MarkWords, header + 6);
    qToLittleEndian<quint32>(std::max(u32(data, start + 12), MarkWords), header + 12);
    return out;
}

QByteArray encodeProblem(const Problem& problem) {
    QByteArray line = QByteArray::number(int(problem.kind));
    for (const qint64 v : problem.n)
        line += ' ' + QByteArray::number(v);
    // Nine digits give a single-precision number back exactly.
    line += ' ' + QByteArray::number(double(problem.width), 'g', 9);
    line += ' ' + QByteArray::number(double(problem.height), 'g', 9);
    return line;
}

std::optional<Problem> decodeProblem(const QByteArray& line) {
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() != 7)
        return std::nullopt;
    bool ok = false;
    const int kind = fields[0].toInt(&ok);
    if (!ok || kind < 0 || kind > int(K::AnswerWrong))
        return std::nullopt;
    Problem p;
    p.kind = K(kind);
    for (std::size_t i = 0; i < p.n.size(); ++i) {
        p.n[i] = fields[qsizetype(i) + 1].toLongLong(&ok);
        if (!ok)
            return std::nullopt;
    }
    bool okW = false, okH = false;
    p.width = fields[5].toFloat(&okW);
    p.height = fields[6].toFloat(&okH);
    if (!okW || !okH)
        return std::nullopt;
    return p;
}

} // namespace zentraq::metafile

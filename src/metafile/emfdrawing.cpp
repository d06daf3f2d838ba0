#include "emfdrawing.h"

#include "aliasedpainting.h"

#include <QSvgRenderer>
#include <QtEndian>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

#include <emf2svg.h>

namespace zentraq::metafile {
namespace {

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

// `svg` with every stroke="none" where the converter wrote
// stroke-width="1px" stroke="#RRGGBB" (bytes, not text: the SVG's text may
// be in any encoding).
QByteArray withoutNullPenStrokes(const QByteArray& svg) {
    static constexpr QByteArrayView Mark = R"(stroke-width="1px" stroke="#)";
    constexpr qsizetype Length = Mark.size() + 7; // six digits and the quote
    QByteArray out;
    out.reserve(svg.size());
    qsizetype from = 0;
    for (qsizetype at = svg.indexOf(Mark); at >= 0; at = svg.indexOf(Mark, at + 1)) {
        const QByteArrayView colour =
            QByteArrayView(svg)
                .sliced(at + Mark.size())
                .first(std::min<qsizetype>(7, svg.size() - at - Mark.size()));
        if (colour.size() < 7 || colour[6] != '"' ||
            !std::all_of(colour.begin(), colour.begin() + 6,
                         [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
            continue;
        out += QByteArrayView(svg).sliced(from, at - from);
        out += R"(stroke="none")";
        from = at + Length;
        at = from - 1;
    }
    out += QByteArrayView(svg).sliced(from);
    return out;
}

} // namespace

std::optional<Problem> emfToSvg(const QByteArray& data, QByteArray& svg) {
    // The records up to the header's byte count, with the header's bounds
    // set to one pixel at the origin: the converter then neither shifts nor
    // scales, and the SVG's units are the reference device's pixels.
    QByteArray emf = data.left(qFromLittleEndian<quint32>(data.constData() + 48));
    char* header = emf.data();
    qToLittleEndian<qint32>(0, header + 8);
    qToLittleEndian<qint32>(0, header + 12);
    qToLittleEndian<qint32>(1, header + 16);
    qToLittleEndian<qint32>(1, header + 20);

    generatorOptions options{};
    char nameSpace[] = "";
    options.nameSpace = nameSpace;
    options.verbose = false;
    // The converter's EMF+ drawing functions are empty in the versions this
    // program is built with, and its EMF+ reader was found reading past the
    // end of the records: EMF+ records are left unread. Files that carry
    // them also carry EMF records that draw the same, which are drawn.
    options.emfplus = false;
    options.svgDelimiter = true;
    char* out = nullptr;
    size_t outBytes = 0;
    const int converted = emf2svg(emf.data(), size_t(emf.size()), &out, &outBytes, &options);
    const std::unique_ptr<char, FreeDeleter> owned(out);
    if (!converted || !out)
        return Problem{Problem::Kind::EmfUnreadable};
    svg = QByteArray(out, qsizetype(outBytes));
    // A shape drawn without outline (the null pen) comes as one stroked
    // with its fill colour, one pixel wide, which makes it larger than
    // Windows draws it; it is drawn without a stroke. The converter writes
    // that stroke's width before its colour, a pen's colour before its width.
    svg = withoutNullPenStrokes(svg);
    return std::nullopt;
}

std::optional<Problem> drawSvg(const QByteArray& svg, const QRectF& frame, QImage& picture) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return Problem{Problem::Kind::SvgUndrawable};
    renderer.setViewBox(frame);
    AliasedPaintDevice device(picture, true);
    QPainter painter(&device);
    renderer.render(&painter, QRectF(0, 0, picture.width(), picture.height()));
    painter.end();
    return std::nullopt;
}

} // namespace zentraq::metafile

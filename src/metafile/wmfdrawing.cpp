// libwmf plays the records (object tables, device contexts, the mapping from
// logical units to its device units, regions) and hands each drawing to a
// device: this one paints it with QPainter, aliased and in exact colours.
// libwmf's own SVG device rounds every colour to the nearest SVG colour name
// and its raster device smooths text, so neither keeps the pixels as drawn.
#include "wmfdrawing.h"

#include "gdishapes.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QImageReader>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <memory>

// libwmf's headers after Qt's: they define plain macro names (OPAQUE,
// ALTERNATE, ...).
#include <libwmf/api.h>
#include <libwmf/defs.h>
#include <libwmf/ipa.h>
#include <libwmf/macro.h>

namespace zentraq::metafile {
namespace {

// Everything the device callbacks need, reached through the API's device data.
struct Device {
    QImage* picture = nullptr;
    QPainter painter;
    // Device units to picture pixels, known once the window mark was played.
    bool framed = false;
    QTransform toPicture;
    // The clipping region in device units (empty: none), applied when it changed.
    QList<QRectF> clip;
    bool clipChanged = false;
    std::optional<Problem> failure;
};

Device& device(wmfAPI* api) {
    return *static_cast<Device*>(api->device_data);
}

QColor colour(const wmfRGB& c) {
    return QColor(c.r, c.g, c.b);
}

// Text and face names of a font come in the font's character set; the
// default set is the code page of the system the files come from (936).
QString decode(const char* bytes, quint8 charset) {
    if (!bytes)
        return {};
    const char* name = nullptr;
    switch (charset) {
    case 0: // ANSI
        name = "windows-1252";
        break;
    case 1:   // DEFAULT
    case 134: // GB2312
        name = "GBK";
        break;
    case 2: // SYMBOL: the bytes are the font's own code points
        return QString::fromLatin1(bytes);
    case 128:
        name = "Shift_JIS";
        break;
    case 129:
        name = "windows-949";
        break;
    case 136:
        name = "Big5";
        break;
    case 161:
        name = "windows-1253";
        break;
    case 162:
        name = "windows-1254";
        break;
    case 177:
        name = "windows-1255";
        break;
    case 178:
        name = "windows-1256";
        break;
    case 186:
        name = "windows-1257";
        break;
    case 204:
        name = "windows-1251";
        break;
    case 222:
        name = "windows-874";
        break;
    case 238:
        name = "windows-1250";
        break;
    default:
        name = "windows-1252";
        break;
    }
    QStringDecoder decoder(name);
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(QByteArrayView(bytes));
}

QFont fontFor(const wmfFont* f, double pixelSize) {
    QFont font;
    const QString face = decode(f->lfFaceName, f->lfCharSet).trimmed();
    font.setFamilies(
        {face.isEmpty() ? QStringLiteral("sans-serif") : face, QStringLiteral("sans-serif")});
    font.setPixelSize(std::max(1, int(std::lround(pixelSize))));
    if (f->lfWeight > 0 && f->lfWeight <= 1000)
        font.setWeight(QFont::Weight(f->lfWeight));
    font.setItalic(f->lfItalic != 0);
    font.setUnderline(f->lfUnderline != 0);
    font.setStrikeOut(f->lfStrikeOut != 0);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// libwmf measures text as `stringwidth` times the font height times the
// font's width-to-height ratio; the answer here undoes the ratio, so that the
// product is the width Qt draws the text at.
float stringWidth(wmfAPI*, wmfFont* f, char* text) {
    if (!f || !text || f->lfHeight == 0)
        return 0;
    constexpr double Em = 100;
    const QFontMetricsF metrics(fontFor(f, Em));
    const double perEm = metrics.horizontalAdvance(decode(text, f->lfCharSet)) / Em;
    const double ratio = double(f->lfWidth) / double(f->lfHeight);
    return ratio > 0 ? float(perEm / ratio) : 0.0f;
}

void mapFont(wmfAPI*, wmfFont* f) {
    // A height of 0 asks for the default size; libwmf's default font has 12.
    if (f->lfHeight == 0)
        f->lfHeight = 12;
    if (f->lfWidth == 0)
        f->lfWidth = f->lfHeight;
    f->user_data = nullptr;
}

// ---- painting state from the device context -----------------------------

double scaleX(const Device& d) {
    return std::abs(d.toPicture.m11());
}
double scaleY(const Device& d) {
    return std::abs(d.toPicture.m22());
}

// Values far outside the picture are held at a distance that still lies
// outside it but fits an int, whatever the records ask for.
double held(double v) {
    constexpr double Far = 1 << 24;
    return std::isnan(v) ? 0.0 : std::clamp(v, -Far, Far);
}

// The largest size worth drawing at: twice the picture's larger side.
double biggest(const Device& d) {
    return 2.0 * std::max(d.picture->width(), d.picture->height()) + 1;
}

// A point in picture pixels, as mapped.
QPointF exactly(const Device& d, const wmfD_Coord& c) {
    const QPointF p = d.toPicture.map(QPointF(c.x, c.y));
    return QPointF(held(p.x()), held(p.y()));
}

// A point in whole picture pixels. Like GDI, which maps logical units to
// whole device pixels before it draws: a mapping that lands a hair beside a
// pixel then draws what it would on it.
QPointF at(const Device& d, const wmfD_Coord& c) {
    return gdi::whole(exactly(d, c));
}

// The pixel rectangle that GDI fills for the corners `a` and `b`: corners
// rounded to pixels, right and bottom edges excluded.
QRect pixelRect(const Device& d, const wmfD_Coord& a, const wmfD_Coord& b) {
    return gdi::pixelRect(at(d, a), at(d, b));
}

using gdi::shapeRect;

QPainter::CompositionMode rasterMode(quint16 rop) {
    switch (rop) {
    case R2_NOT:
        return QPainter::RasterOp_NotDestination;
    case R2_XORPEN:
        return QPainter::RasterOp_SourceXorDestination;
    case R2_NOTXORPEN:
        return QPainter::RasterOp_NotSourceXorDestination;
    case R2_MASKPEN:
        return QPainter::RasterOp_SourceAndDestination;
    case R2_MERGEPEN:
        return QPainter::RasterOp_SourceOrDestination;
    case R2_NOTCOPYPEN:
        return QPainter::RasterOp_NotSource;
    case R2_MASKPENNOT:
        return QPainter::RasterOp_SourceAndNotDestination;
    case R2_MASKNOTPEN:
        return QPainter::RasterOp_NotSourceAndDestination;
    case R2_NOTMASKPEN:
        return QPainter::RasterOp_NotSourceOrNotDestination;
    case R2_NOTMERGEPEN:
        return QPainter::RasterOp_NotSourceAndNotDestination;
    case R2_MERGENOTPEN:
        return QPainter::RasterOp_NotSourceOrDestination;
    default:
        return QPainter::CompositionMode_SourceOver;
    }
}

// Applies the clipping region, when it changed since the last drawing.
void applyClip(Device& d) {
    if (!d.clipChanged)
        return;
    d.clipChanged = false;
    if (d.clip.isEmpty()) {
        d.painter.setClipping(false);
        return;
    }
    QRegion region;
    for (const QRectF& r : d.clip)
        region += d.toPicture.mapRect(r).toAlignedRect();
    d.painter.setClipRegion(region);
}

// Sets pen, brush, fill rule and raster operation for a shape. False when
// the raster operation leaves every pixel as it is.
bool prepare(Device& d, wmfDC* dc, bool filled) {
    if (!d.framed)
        return false;
    applyClip(d);
    quint16 rop = dc->ROPmode;
    if (rop == R2_NOP)
        return false;
    QColor penColour, brushColour;
    bool fixedColour = false;
    if (rop == R2_BLACK || rop == R2_WHITE) {
        fixedColour = true;
        penColour = brushColour = rop == R2_BLACK ? Qt::black : Qt::white;
        rop = R2_COPYPEN;
    }
    d.painter.setCompositionMode(rasterMode(rop));

    const wmfPen* pen = dc->pen;
    const int style = pen ? WMF_PEN_STYLE(pen) : PS_NULL;
    if (style == PS_NULL) {
        d.painter.setPen(Qt::NoPen);
    } else {
        // Pens of up to one pixel draw one pixel wide, whatever the scale.
        QPen p = gdi::devicePen(QPen(fixedColour ? penColour : colour(pen->lopnColor)),
                                std::min(held(pen->width * scaleX(d)), biggest(d)));
        switch (style) {
        case PS_DASH:
            p.setStyle(Qt::DashLine);
            break;
        case PS_DOT:
        case PS_ALTERNATE:
            p.setStyle(Qt::DotLine);
            break;
        case PS_DASHDOT:
            p.setStyle(Qt::DashDotLine);
            break;
        case PS_DASHDOTDOT:
            p.setStyle(Qt::DashDotDotLine);
            break;
        default:
            p.setStyle(Qt::SolidLine);
            break;
        }
        switch (WMF_PEN_ENDCAP(pen)) {
        case PS_ENDCAP_SQUARE:
            p.setCapStyle(Qt::SquareCap);
            break;
        case PS_ENDCAP_FLAT:
            p.setCapStyle(Qt::FlatCap);
            break;
        default:
            p.setCapStyle(Qt::RoundCap);
            break;
        }
        switch (WMF_PEN_JOIN(pen)) {
        case PS_JOIN_BEVEL:
            p.setJoinStyle(Qt::BevelJoin);
            break;
        case PS_JOIN_MITER:
            p.setJoinStyle(Qt::MiterJoin);
            break;
        default:
            p.setJoinStyle(Qt::RoundJoin);
            break;
        }
        d.painter.setPen(p);
    }

    const wmfBrush* brush = dc->brush;
    if (!filled || !brush || brush->lbStyle == BS_NULL) {
        d.painter.setBrush(Qt::NoBrush);
    } else if (fixedColour) {
        d.painter.setBrush(brushColour);
    } else if (brush->lbStyle == BS_HATCHED) {
        static constexpr Qt::BrushStyle hatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                     Qt::FDiagPattern, Qt::BDiagPattern,
                                                     Qt::CrossPattern, Qt::DiagCrossPattern};
        d.painter.setBrush(QBrush(colour(brush->lbColor),
                                  brush->lbHatch < 6 ? hatches[brush->lbHatch] : Qt::SolidPattern));
    } else if ((brush->lbStyle == BS_PATTERN || brush->lbStyle == BS_DIBPATTERN ||
                brush->lbStyle == BS_DIBPATTERNPT) &&
               brush->bmp.data) {
        d.painter.setBrush(QBrush(*static_cast<const QImage*>(brush->bmp.data)));
    } else {
        d.painter.setBrush(colour(brush->lbColor));
    }
    // Gaps of hatches and dashed lines in the background colour when opaque.
    // Only then: QPainter draws solid shapes in opaque mode by another way,
    // whose small ellipses come out lopsided.
    const Qt::PenStyle penStyle = d.painter.pen().style();
    const Qt::BrushStyle brushStyle = d.painter.brush().style();
    const bool gaps = (penStyle != Qt::SolidLine && penStyle != Qt::NoPen) ||
                      (brushStyle >= Qt::HorPattern && brushStyle <= Qt::DiagCrossPattern);
    d.painter.setBackgroundMode(dc->bgmode == OPAQUE && gaps ? Qt::OpaqueMode
                                                             : Qt::TransparentMode);
    d.painter.setBackground(colour(dc->bgcolor));
    return true;
}

Qt::FillRule fillRule(const wmfDC* dc) {
    return dc->polyfillmode == WINDING ? Qt::WindingFill : Qt::OddEvenFill;
}

// ---- device callbacks -----------------------------------------------------

void drawRectangle(wmfAPI* api, wmfDrawRectangle_t* r) {
    Device& d = device(api);
    if (!prepare(d, r->dc, true))
        return;
    const QRectF shape = shapeRect(pixelRect(d, r->TL, r->BR));
    if (r->width > 0 && r->height > 0)
        d.painter.drawRoundedRect(shape, std::min(held(r->width * scaleX(d)), biggest(d)) / 2,
                                  std::min(held(r->height * scaleY(d)), biggest(d)) / 2);
    else
        d.painter.drawRect(shape);
}

void drawEllipse(wmfAPI* api, wmfDrawArc_t* a) {
    Device& d = device(api);
    if (prepare(d, a->dc, true))
        gdi::drawEllipse(d.painter, pixelRect(d, a->TL, a->BR));
}

// Angle in 1/16 degree, counter-clockwise from three o'clock, of the point
// of `shape`'s ellipse in the direction of `p`, as QPainter takes arcs.
int arcAngle(const QRectF& shape, const QPointF& p) {
    const QPointF c = shape.center();
    const double rx = std::max(shape.width() / 2, 1e-9), ry = std::max(shape.height() / 2, 1e-9);
    const double a = std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx);
    return int(std::lround(a * 180.0 / M_PI * 16.0));
}

void drawArcShape(wmfAPI* api, wmfDrawArc_t* a, int kind) {
    Device& d = device(api);
    if (!prepare(d, a->dc, kind != 0))
        return;
    const QRectF shape = shapeRect(pixelRect(d, a->TL, a->BR));
    const int start = arcAngle(shape, exactly(d, a->start));
    int span = arcAngle(shape, exactly(d, a->end)) - start;
    // Arcs run counter-clockwise from the start to the end; equal ends make
    // a whole ellipse.
    while (span <= 0)
        span += 360 * 16;
    if (kind == 0)
        d.painter.drawArc(shape, start, span);
    else if (kind == 1)
        d.painter.drawPie(shape, start, span);
    else
        d.painter.drawChord(shape, start, span);
}

void drawArc(wmfAPI* api, wmfDrawArc_t* a) {
    drawArcShape(api, a, 0);
}
void drawPie(wmfAPI* api, wmfDrawArc_t* a) {
    drawArcShape(api, a, 1);
}
void drawChord(wmfAPI* api, wmfDrawArc_t* a) {
    drawArcShape(api, a, 2);
}

void drawLine(wmfAPI* api, wmfDrawLine_t* l) {
    Device& d = device(api);
    if (prepare(d, l->dc, false))
        d.painter.drawLine(at(d, l->from), at(d, l->to));
}

QPolygonF polygon(const Device& d, const wmfD_Coord* points, int count) {
    QPolygonF p;
    p.reserve(count);
    for (int i = 0; i < count; ++i)
        p << at(d, points[i]);
    return p;
}

void polyLine(wmfAPI* api, wmfPolyLine_t* l) {
    Device& d = device(api);
    if (l->count >= 2 && prepare(d, l->dc, false))
        d.painter.drawPolyline(polygon(d, l->pt, l->count));
}

void drawPolygon(wmfAPI* api, wmfPolyLine_t* l) {
    Device& d = device(api);
    if (l->count >= 2 && prepare(d, l->dc, true))
        gdi::drawPolygons(d.painter, {polygon(d, l->pt, l->count)}, fillRule(l->dc));
}

void drawPolyPolygon(wmfAPI* api, wmfPolyPoly_t* pp) {
    Device& d = device(api);
    if (!prepare(d, pp->dc, true))
        return;
    QList<QPolygonF> figures;
    for (int i = 0; i < pp->npoly; ++i)
        if (pp->pt[i] && pp->count[i] >= 2)
            figures << polygon(d, pp->pt[i], pp->count[i]);
    if (!figures.isEmpty())
        gdi::drawPolygons(d.painter, figures, fillRule(pp->dc));
}

void drawPixel(wmfAPI* api, wmfDrawPixel_t* p) {
    Device& d = device(api);
    if (!d.framed)
        return;
    applyClip(d);
    const QPointF c = at(d, p->pt);
    d.painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    d.painter.fillRect(QRect(int(std::floor(c.x())), int(std::floor(c.y())), 1, 1),
                       colour(p->color));
}

// Fills the area around `seed`: all pixels of the seed's colour (surface), or
// all pixels up to the colour `border`.
void floodFill(Device& d, const QPoint& seed, QRgb colour, bool surface, QRgb fill) {
    QImage& img = *d.picture;
    if (!img.rect().contains(seed))
        return;
    const QRgb seedColour = img.pixel(seed) | 0xFF000000;
    colour |= 0xFF000000;
    fill |= 0xFF000000;
    auto inside = [&](int x, int y) {
        const QRgb c = img.pixel(x, y) | 0xFF000000;
        return c != fill && (surface ? c == colour : c != colour);
    };
    if (surface && seedColour != colour)
        return;
    if (!inside(seed.x(), seed.y()))
        return;
    const QRegion clip = d.painter.hasClipping() ? d.painter.clipRegion() : QRegion(img.rect());
    d.painter.end();
    QList<QPoint> stack{seed};
    while (!stack.isEmpty()) {
        const QPoint p = stack.takeLast();
        int x = p.x();
        const int y = p.y();
        if (!inside(x, y) || !clip.contains(p))
            continue;
        while (x > 0 && inside(x - 1, y) && clip.contains(QPoint(x - 1, y)))
            --x;
        bool above = false, below = false;
        for (; x < img.width() && inside(x, y) && clip.contains(QPoint(x, y)); ++x) {
            img.setPixel(x, y, fill);
            if (y > 0) {
                const bool in = inside(x, y - 1);
                if (in && !above)
                    stack.append(QPoint(x, y - 1));
                above = in;
            }
            if (y + 1 < img.height()) {
                const bool in = inside(x, y + 1);
                if (in && !below)
                    stack.append(QPoint(x, y + 1));
                below = in;
            }
        }
    }
    d.painter.begin(&img);
    d.painter.setRenderHints(QPainter::RenderHints());
    d.clipChanged = true;
}

void flood(wmfAPI* api, wmfFlood_t* f, bool exterior) {
    Device& d = device(api);
    if (!d.framed || !f->dc->brush || f->dc->brush->lbStyle == BS_NULL)
        return;
    applyClip(d);
    const QPointF c = at(d, f->pt);
    const bool surface = exterior && f->type == FLOODFILLSURFACE;
    floodFill(d, QPoint(int(std::floor(c.x())), int(std::floor(c.y()))), colour(f->color).rgb(),
              surface, colour(f->dc->brush->lbColor).rgb());
}
void floodInterior(wmfAPI* api, wmfFlood_t* f) {
    flood(api, f, false);
}
void floodExterior(wmfAPI* api, wmfFlood_t* f) {
    flood(api, f, true);
}

void ropDraw(wmfAPI* api, wmfROP_Draw_t* r) {
    Device& d = device(api);
    if (r->ROP == MarkRasterOperation) {
        // The window mark, or a fill that keeps every pixel.
        if (!d.framed) {
            const double l = std::min(r->TL.x, r->BR.x), t = std::min(r->TL.y, r->BR.y);
            const double w = std::abs(r->BR.x - r->TL.x), h = std::abs(r->BR.y - r->TL.y);
            if (w > 0 && h > 0 && std::isfinite(w) && std::isfinite(h)) {
                const double sx = d.picture->width() / w, sy = d.picture->height() / h;
                d.toPicture = QTransform(sx, 0, 0, sy, -l * sx, -t * sy);
                d.framed = true;
            } else {
                d.failure = Problem{Problem::Kind::WindowEmpty};
            }
        }
        return;
    }
    if (!prepare(d, r->dc, true))
        return;
    const QRect area = pixelRect(d, r->TL, r->BR).adjusted(0, 0, 1, 1);
    switch (r->ROP) {
    case BLACKNESS:
        d.painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        d.painter.fillRect(area, Qt::black);
        break;
    case WHITENESS:
        d.painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        d.painter.fillRect(area, Qt::white);
        break;
    case DSTINVERT:
        d.painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        d.painter.fillRect(area, Qt::white);
        break;
    case PATINVERT:
        d.painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        d.painter.fillRect(area, d.painter.brush());
        break;
    default:
        d.painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        d.painter.fillRect(area, d.painter.brush());
        break;
    }
}

// A device-independent bitmap from a record, read by Qt's BMP reader behind
// the 14-byte file header that the record leaves out.
void bmpRead(wmfAPI*, wmfBMP_Read_t* r) {
    r->bmp.data = nullptr;
    r->bmp.width = r->bmp.height = 0;
    if (!r->buffer || r->length < 12)
        return;
    const QByteArray dib(reinterpret_cast<const char*>(r->buffer), qsizetype(r->length));
    const quint32 headerBytes = qFromLittleEndian<quint32>(dib.constData());
    if (headerBytes < 12 || headerBytes > quint32(dib.size()))
        return;
    quint32 bits = 0, compression = 0, used = 0, entry = 4;
    if (headerBytes == 12) { // core header
        bits = qFromLittleEndian<quint16>(dib.constData() + 10);
        entry = 3;
    } else if (headerBytes >= 40) {
        bits = qFromLittleEndian<quint16>(dib.constData() + 14);
        compression = qFromLittleEndian<quint32>(dib.constData() + 16);
        used = qFromLittleEndian<quint32>(dib.constData() + 32);
    } else {
        return;
    }
    const quint64 colours = used ? used : (bits <= 8 ? 1u << bits : 0u);
    const quint64 masks = headerBytes == 40 && (compression == 3 || compression == 6) ? 12 : 0;
    const quint64 offset = 14 + headerBytes + masks + colours * entry;
    if (offset > 14 + quint64(dib.size()))
        return;
    QByteArray file(14, '\0');
    file[0] = 'B';
    file[1] = 'M';
    qToLittleEndian<quint32>(quint32(14 + dib.size()), file.data() + 2);
    qToLittleEndian<quint32>(quint32(offset), file.data() + 10);
    file += dib;
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    auto image = std::make_unique<QImage>();
    if (!reader.read(image.get()) || image->isNull() || image->width() > 0xFFFF ||
        image->height() > 0xFFFF)
        return;
    r->bmp.width = quint16(image->width());
    r->bmp.height = quint16(image->height());
    r->bmp.data = image.release();
}

void bmpFree(wmfAPI*, wmfBMP* bmp) {
    delete static_cast<QImage*>(bmp->data);
    bmp->data = nullptr;
}

void bmpDraw(wmfAPI* api, wmfBMP_Draw_t* b) {
    Device& d = device(api);
    if (!d.framed || !b->bmp.data)
        return;
    applyClip(d);
    const QImage& image = *static_cast<const QImage*>(b->bmp.data);
    // Source rows count from the bottom of the bitmap.
    const QRect source(b->crop.x, image.height() - b->crop.y - b->crop.h, b->crop.w, b->crop.h);
    const QPointF p = at(d, b->pt);
    const QRectF target(
        p, QSizeF(b->crop.w * b->pixel_width * scaleX(d), b->crop.h * b->pixel_height * scaleY(d)));
    switch (b->type) {
    case SRCAND:
        d.painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        break;
    case SRCPAINT:
        d.painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
        break;
    case SRCINVERT:
        d.painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        break;
    case NOTSRCCOPY:
        d.painter.setCompositionMode(QPainter::RasterOp_NotSource);
        break;
    default:
        d.painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        break;
    }
    d.painter.drawImage(QRectF(target.topLeft(), target.size()).toAlignedRect(), image, source);
}

void drawText(wmfAPI* api, wmfDrawText_t* t) {
    Device& d = device(api);
    const wmfFont* f = t->dc->font;
    if (!d.framed || !f || !t->str)
        return;
    applyClip(d);
    const double pixelSize = std::min(held(t->font_height * scaleY(d)), biggest(d));
    const QFont font = fontFor(f, pixelSize);
    const QFontMetricsF metrics(font, d.picture);
    const QString text = decode(t->str, f->lfCharSet);

    // libwmf has put the reference point on the baseline's start, the
    // horizontal alignment measured by stringWidth; for top and bottom
    // alignment it moved it by a guess of the ascent (the font height) or
    // the descent (a third of it), replaced here by the font's own.
    const double angle = f->lfEscapement / 10.0 * M_PI / 180.0;
    const QPointF down(std::sin(angle), std::cos(angle)); // perpendicular to the baseline
    QPointF origin = at(d, t->pt);
    const quint16 align = t->dc->textalign;
    if ((align & TA_BASELINE) == TA_BASELINE) {
    } else if (align & TA_BOTTOM) {
        origin += down * (pixelSize / 3.0 - metrics.descent());
    } else {
        origin += down * (metrics.ascent() - pixelSize);
    }

    d.painter.save();
    d.painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (t->flags & (ETO_OPAQUE | ETO_CLIPPED)) {
        const QRectF box = QRectF(at(d, t->TL), at(d, t->BR)).normalized();
        if (t->flags & ETO_OPAQUE)
            d.painter.fillRect(box.toAlignedRect(), colour(t->dc->bgcolor));
        if (t->flags & ETO_CLIPPED)
            d.painter.setClipRect(box, Qt::IntersectClip);
    }
    d.painter.setFont(font);
    d.painter.setPen(colour(t->dc->textcolor));
    d.painter.setBackgroundMode(t->dc->bgmode == OPAQUE ? Qt::OpaqueMode : Qt::TransparentMode);
    d.painter.setBackground(colour(t->dc->bgcolor));
    d.painter.translate(origin);
    d.painter.rotate(-f->lfEscapement / 10.0);
    d.painter.drawText(QPointF(0, 0), text);
    d.painter.restore();
}

void regionPaint(wmfAPI* api, wmfPolyRectangle_t* r) {
    Device& d = device(api);
    if (!prepare(d, r->dc, true))
        return;
    for (unsigned i = 0; i < r->count; ++i)
        d.painter.fillRect(pixelRect(d, r->TL[i], r->BR[i]).adjusted(0, 0, 1, 1),
                           d.painter.brush());
}

void regionFrame(wmfAPI* api, wmfPolyRectangle_t* r) {
    Device& d = device(api);
    if (!prepare(d, r->dc, true))
        return;
    const int w = std::max(1, int(std::min(held(r->width * scaleX(d)), biggest(d))));
    const int h = std::max(1, int(std::min(held(r->height * scaleY(d)), biggest(d))));
    for (unsigned i = 0; i < r->count; ++i) {
        const QRect a = pixelRect(d, r->TL[i], r->BR[i]).adjusted(0, 0, 1, 1);
        const QRegion frame = QRegion(a) - QRegion(a.adjusted(w, h, -w, -h));
        for (const QRect& part : frame)
            d.painter.fillRect(part, d.painter.brush());
    }
}

void regionClip(wmfAPI* api, wmfPolyRectangle_t* r) {
    Device& d = device(api);
    d.clip.clear();
    for (unsigned i = 0; i < r->count; ++i)
        d.clip << QRectF(QPointF(r->TL[i].x, r->TL[i].y), QPointF(r->BR[i].x, r->BR[i].y))
                      .normalized();
    d.clipChanged = true;
}

void udata(wmfAPI*, wmfUserData_t*) {}
void deviceEvent(wmfAPI*) {}

void setUpDevice(wmfAPI* api) {
    auto* fr = static_cast<wmfFunctionReference*>(api->function_reference);
    fr->device_open = deviceEvent;
    fr->device_close = deviceEvent;
    fr->device_begin = deviceEvent;
    fr->device_end = deviceEvent;
    fr->flood_interior = floodInterior;
    fr->flood_exterior = floodExterior;
    fr->draw_pixel = drawPixel;
    fr->draw_pie = drawPie;
    fr->draw_chord = drawChord;
    fr->draw_arc = drawArc;
    fr->draw_ellipse = drawEllipse;
    fr->draw_line = drawLine;
    fr->poly_line = polyLine;
    fr->draw_polygon = drawPolygon;
    fr->draw_polypolygon = drawPolyPolygon;
    fr->draw_rectangle = drawRectangle;
    fr->rop_draw = ropDraw;
    fr->bmp_draw = bmpDraw;
    fr->bmp_read = bmpRead;
    fr->bmp_free = bmpFree;
    fr->draw_text = drawText;
    fr->udata_init = udata;
    fr->udata_copy = udata;
    fr->udata_set = udata;
    fr->udata_free = udata;
    fr->region_frame = regionFrame;
    fr->region_paint = regionPaint;
    fr->region_clip = regionClip;
}

Problem playerError(wmf_error_t e) {
    Problem p;
    switch (e) {
    case wmf_E_InsMem:
        p.kind = Problem::Kind::PlayerNoMemory;
        break;
    case wmf_E_EOF:
        p.kind = Problem::Kind::PlayerCutShort;
        break;
    case wmf_E_BadFormat:
    case wmf_E_BadFile:
        p.kind = Problem::Kind::PlayerUnreadable;
        break;
    default:
        p.kind = Problem::Kind::PlayerFailed;
        p.n[0] = int(e);
        break;
    }
    return p;
}

struct ApiDeleter {
    void operator()(wmfAPI* api) const { wmf_lite_destroy(api); }
};

} // namespace

std::optional<Problem> drawWmf(const QByteArray& data, const Layout& layout, QImage& picture) {
    QByteArray marked = withWindowMark(data, layout);
    if (marked.isEmpty()) {
        const WmfWindow& w = layout.window;
        return Problem{Problem::Kind::WindowOutOfRange, {w.x, w.y, w.width, w.height}};
    }

    wmfAPI_Options options{};
    options.function = setUpDevice;
    const unsigned long flags =
        WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    wmfAPI* raw = nullptr;
    if (wmf_lite_create(&raw, flags, &options) != wmf_E_None || !raw)
        return playerError(wmf_E_InsMem);
    const std::unique_ptr<wmfAPI, ApiDeleter> api(raw);

    wmfFontData fonts{};
    fonts.map = mapFont;
    fonts.stringwidth = stringWidth;
    api->font_data = &fonts;

    Device d;
    d.picture = &picture;
    api->device_data = &d;

    if (wmf_mem_open(api.get(), reinterpret_cast<unsigned char*>(marked.data()),
                     long(marked.size())) != wmf_E_None)
        return playerError(api->err);
    wmfD_Rect bounds{};
    if (wmf_scan(api.get(), 0, &bounds) != wmf_E_None)
        return playerError(api->err);

    d.painter.begin(&picture);
    d.painter.setRenderHints(QPainter::RenderHints());
    const wmf_error_t played = wmf_play(api.get(), 0, &bounds);
    if (d.painter.isActive())
        d.painter.end();
    if (played != wmf_E_None)
        return playerError(played);
    if (d.failure)
        return d.failure;
    if (!d.framed)
        return Problem{Problem::Kind::WindowNotPlayed};
    return std::nullopt;
}

} // namespace zentraq::metafile

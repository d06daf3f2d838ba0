// The glyph canvas and its text drawing: which faces it draws with, the cell
// the glyphs land in, one-bit ink only, and the canvas operations.
#include "glyphcanvas.h"
#include "support/gb2312.h"

#include <fontconfig/fontconfig.h>

#include <QTest>

using namespace zentraq;
using text::RasterGlyph;
using text::TextRenderer;

namespace {

constexpr Colour Red = rgbColour(255, 0, 0);

// The file of an installed face of `family`, empty when there is none.
QString fontFile(const char* family) {
    FcPattern* p = FcPatternCreate();
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcObjectSet* os = FcObjectSetBuild(FC_FILE, static_cast<char*>(nullptr));
    FcFontSet* set = FcFontList(nullptr, p, os);
    QString file;
    FcChar8* s = nullptr;
    if (set && set->nfont > 0 && FcPatternGetString(set->fonts[0], FC_FILE, 0, &s) == FcResultMatch)
        file = QString::fromUtf8(reinterpret_cast<const char*>(s));
    if (set)
        FcFontSetDestroy(set);
    FcObjectSetDestroy(os);
    FcPatternDestroy(p);
    return file;
}

// Ink pixels of `g` that fall outside a cell of w x h at the origin.
int inkOutside(const RasterGlyph& g, int w, int h) {
    int n = 0;
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            if (!g.isInk(x, y))
                continue;
            const int cx = g.left + x, cy = g.top + y;
            if (cx < 0 || cy < 0 || cx >= w || cy >= h)
                ++n;
        }
    }
    return n;
}

int inkCount(const RasterGlyph& g) {
    return static_cast<int>(std::count(g.ink.begin(), g.ink.end(), 1));
}

bool isPrimaryUMing() {
    return TextRenderer::shared().faces().primary.family == QLatin1String("AR PL UMing CN");
}

} // namespace

class TestTextRendering : public QObject {
    Q_OBJECT

private slots:
    void pointsToPixels_data() {
        QTest::addColumn<double>("points");
        QTest::addColumn<int>("pixels");
        QTest::newRow("9 pt") << 9.0 << 12;
        QTest::newRow("12 pt") << 12.0 << 16;
        QTest::newRow("24 pt") << 24.0 << 32;
        QTest::newRow("0 pt") << 0.0 << 0;
        QTest::newRow("not a number") << std::nan("") << 0;
        QTest::newRow("huge") << 1e30 << text::MaxPixelSize;
    }
    void pointsToPixels() {
        QFETCH(double, points);
        QFETCH(int, pixels);
        QCOMPARE(text::pointsToPixels(points), pixels);
    }

    // "宋体" only when fontconfig lists it as installed, else AR PL UMing CN.
    void canvasFace() {
        const text::FaceChain& chain = TextRenderer::shared().faces();
        QVERIFY2(!chain.empty(), "no installed face");
        const bool simsun = !fontFile("SimSun").isEmpty() || !fontFile("宋体").isEmpty() ||
                            !fontFile("NSimSun").isEmpty() || !fontFile("新宋体").isEmpty();
        if (simsun) {
            QVERIFY(QStringList({"SimSun", "宋体", "NSimSun", "新宋体"}).contains(chain.primary.family));
        } else if (!fontFile("AR PL UMing CN").isEmpty()) {
            QCOMPARE(chain.primary.family, QStringLiteral("AR PL UMing CN"));
            QCOMPARE(chain.primary.file, fontFile("AR PL UMing CN"));
        }
        for (const text::FaceSpec& f : chain.fallbacks)
            QVERIFY(f.file != chain.primary.file || f.index != chain.primary.index);
    }

    // Exact strikes at 12 and 16 pixels, outlines at 32.
    void strikesWhenExact() {
        if (!isPrimaryUMing())
            QSKIP("the canvas face is not AR PL UMing CN");
        TextRenderer& r = TextRenderer::shared();
        QVERIFY(r.hasStrike(0, 12));
        QVERIFY(r.hasStrike(0, 16));
        QVERIFY(!r.hasStrike(0, 32));
        QVERIFY(r.glyph(U'中', 12).fromStrike);
        QVERIFY(r.glyph(U'g', 16).fromStrike);
        QVERIFY(!r.glyph(U'中', 32).fromStrike);
        // The baseline comes from the em box (900 / 1024 of the size), not the
        // size's ascender, which would put it at 15 for 16 pixels.
        QCOMPARE(r.baseline(0, 16), 14);
        QCOMPARE(r.baseline(0, 12), 11);
        QCOMPARE(r.baseline(0, 32), 28);
    }

    // Every GB2312 ideograph inside its square cell, drawn by the canvas face.
    void ideographsInsideSquareCell_data() {
        QTest::addColumn<int>("px");
        QTest::newRow("12") << 12;
        QTest::newRow("16") << 16;
        QTest::newRow("32") << 32;
    }
    void ideographsInsideSquareCell() {
        QFETCH(int, px);
        const std::vector<char32_t> ids = testing::gb2312Ideographs();
        QCOMPARE(ids.size(), std::size_t(6763));
        TextRenderer& r = TextRenderer::shared();
        int withoutInk = 0;
        for (char32_t cp : ids) {
            const RasterGlyph& g = r.glyph(cp, px);
            QVERIFY2(inkOutside(g, px, px) == 0, qPrintable(QStringLiteral("U+%1").arg(uint(cp), 4, 16)));
            if (inkCount(g) == 0)
                ++withoutInk;
        }
        QCOMPARE(withoutInk, 0);
    }

    // Printable ASCII inside the half-width cell, descenders included.
    void asciiInsideHalfWidthCell_data() {
        QTest::addColumn<int>("px");
        QTest::newRow("6x12") << 12;
        QTest::newRow("8x16") << 16;
        QTest::newRow("16x32") << 32;
    }
    void asciiInsideHalfWidthCell() {
        QFETCH(int, px);
        TextRenderer& r = TextRenderer::shared();
        for (char32_t cp = 33; cp < 127; ++cp) {
            const RasterGlyph& g = r.glyph(cp, px);
            QVERIFY2(inkCount(g) > 0, qPrintable(QString(QChar(char16_t(cp)))));
            QVERIFY2(inkOutside(g, px / 2, px) == 0, qPrintable(QString(QChar(char16_t(cp)))));
        }
        // Descenders reach below the baseline and still end inside the cell.
        for (char32_t cp : {U'g', U'y', U'p', U'q', U'j'}) {
            const RasterGlyph& g = r.glyph(cp, px);
            QVERIFY(g.top + g.height > r.baseline(g.face, px));
            QVERIFY(g.top + g.height <= px);
        }
    }

    // "|" stands in the middle of its half-width cell where the renderer
    // places it from the outline (at 12 and 16 pixels the face's own strike
    // decides).
    void barCentred_data() {
        QTest::addColumn<int>("px");
        QTest::newRow("24") << 24;
        QTest::newRow("32") << 32;
    }
    void barCentred() {
        QFETCH(int, px);
        const RasterGlyph& g = TextRenderer::shared().glyph(U'|', px);
        if (g.fromStrike)
            QSKIP("drawn from a strike at this size");
        const int cell = px / 2;
        const int leftGap = g.left;
        const int rightGap = cell - (g.left + g.width);
        QVERIFY2(std::abs(leftGap - rightGap) <= 1,
                 qPrintable(QStringLiteral("gaps %1 and %2").arg(leftGap).arg(rightGap)));
    }

    // Printing paints the ink colour and nothing else: every pixel is either
    // what it was or the foreground colour, never a shade between.
    void onlyInkIsPainted_data() {
        QTest::addColumn<int>("px");
        QTest::newRow("12") << 12;
        QTest::newRow("16") << 16;
        QTest::newRow("32") << 32;
    }
    void onlyInkIsPainted() {
        QFETCH(int, px);
        GlyphCanvas canvas;
        canvas.setWidth(px * 2);
        canvas.setHeight(px);
        canvas.setFontSize(static_cast<float>(px) * 3.0f / 4.0f);
        canvas.setForeColor(rgbColour(0, 0, 128));
        // A pattern in the background shows whether anything behind the strokes
        // is painted.
        for (int y = 0; y < canvas.height(); ++y)
            for (int x = 0; x < canvas.width(); ++x)
                canvas.surface().setPixel(x, y, (x + y) % 2 ? Red : rgbColour(0, 255, 0));
        const QImage before = canvas.surface().image().copy();
        canvas.Print(u"国g@");
        int ink = 0;
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                const Colour c = canvas.GetPixel(x, y);
                const QRgb was = before.pixel(x, y);
                if (c == rgbColour(0, 0, 128))
                    ++ink;
                else
                    QCOMPARE(Surface::toQRgb(c), was);
            }
        }
        QVERIFY(ink > 10);
    }

    // A character the canvas face lacks comes from the next face that has it.
    void fallbackFace() {
        const QString sans = fontFile("DejaVu Sans");
        const QString ming = fontFile("AR PL UMing CN");
        if (sans.isEmpty() || ming.isEmpty())
            QSKIP("needs DejaVu Sans and AR PL UMing CN");
        text::FaceChain chain;
        chain.primary = {sans, 0, QStringLiteral("DejaVu Sans")};
        chain.fallbacks.push_back({ming, 0, QStringLiteral("AR PL UMing CN")});
        TextRenderer r(chain);
        QCOMPARE(r.glyph(U'A', 16).face, 0);
        QCOMPARE(r.glyph(U'中', 16).face, 1);
        QVERIFY(inkCount(r.glyph(U'中', 16)) > 0);
        // No face has a private-use character: the canvas face's missing-glyph
        // shape is drawn, and the renderer keeps working.
        QCOMPARE(r.glyph(U'\U000F0000', 16).face, 0);
        QCOMPARE(r.glyph(U'中', 32).face, 1);
    }

    // Faces that cannot be opened are skipped, never fatal.
    void brokenFacesDrawNothing() {
        text::FaceChain chain;
        chain.primary = {QStringLiteral("/nonexistent/font.ttf"), 0, QStringLiteral("Nowhere")};
        TextRenderer r(chain);
        QVERIFY(!r.faceUsable(0));
        QCOMPARE(inkCount(r.glyph(U'中', 16)), 0);
        TextRenderer none{text::FaceChain{}};
        GlyphCanvas canvas(&none);
        canvas.setFontSize(12);
        canvas.Print(u"A中");
        QCOMPARE(canvas.GetPixel(3, 8), GlyphCanvas::DefaultBackColor);
    }

    // Control characters draw nothing and do not move the position.
    void controlCharactersDrawNothing() {
        GlyphCanvas canvas;
        canvas.setFontSize(12);
        for (char32_t cp : {U'\r', U'\n', U'\t', U'\0', U'\x7f', U'\x85'}) {
            canvas.clear();
            canvas.Print(cp);
            QCOMPARE(canvas.CurrentX(), 0);
            QCOMPARE(canvas.surface().image(), GlyphCanvas().surface().image());
        }
    }

    void canvasOperations() {
        GlyphCanvas canvas;
        QCOMPARE(canvas.width(), 25);
        QCOMPARE(canvas.height(), 25);
        QCOMPARE(canvas.BackColor(), Red);
        QCOMPARE(canvas.ForeColor(), rgbColour(0, 0, 0));

        canvas.setWidth(12);
        canvas.setHeight(12);
        QCOMPARE(canvas.width(), 12);
        QCOMPARE(canvas.height(), 12);
        QCOMPARE(canvas.GetPixel(0, 0), Red);
        QCOMPARE(canvas.GetPixel(11, 11), Red);
        QCOMPARE(canvas.GetPixel(12, 0), InvalidColour);
        QCOMPARE(canvas.GetPixel(0, -1), InvalidColour);

        canvas.setFontSize(9);
        canvas.setCurrentX(3);
        canvas.setCurrentY(2);
        canvas.Print(U'A');
        QVERIFY(canvas.CurrentX() > 3);
        QCOMPARE(canvas.CurrentY(), 2);
        canvas.clear();
        QCOMPARE(canvas.CurrentX(), 0);
        QCOMPARE(canvas.CurrentY(), 0);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 12; ++x)
                QCOMPARE(canvas.GetPixel(x, y), Red);

        canvas.setWidth(-5);
        QCOMPARE(canvas.width(), 0);
        canvas.Print(U'A'); // nothing to draw into, nothing breaks
    }

    // Drawing at a position shifts the glyph; what falls outside is lost.
    void positionAndClipping() {
        GlyphCanvas a;
        a.setWidth(40);
        a.setHeight(40);
        a.setFontSize(12);
        a.Print(U'国');
        GlyphCanvas b;
        b.setWidth(40);
        b.setHeight(40);
        b.setFontSize(12);
        b.setCurrentX(5);
        b.setCurrentY(7);
        b.Print(U'国');
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                QCOMPARE(b.GetPixel(x + 5, y + 7), a.GetPixel(x, y));

        GlyphCanvas c;
        c.setWidth(40);
        c.setHeight(40);
        c.setFontSize(12);
        c.setCurrentX(-8);
        c.setCurrentY(-8);
        c.Print(U'国');
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                QCOMPARE(c.GetPixel(x, y), a.GetPixel(x + 8, y + 8));
    }

};

QTEST_GUILESS_MAIN(TestTextRendering)
#include "test_text_rendering.moc"

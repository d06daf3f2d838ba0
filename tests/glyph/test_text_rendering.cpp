// The glyph canvas and its text drawing: which faces it draws with, the cell
// the glyphs land in, one-bit ink only, a handful of glyphs against the
// reviewed golden file, and the canvas operations.
#include "support/gb2312.h"
#include "support/golden.h"

#include <QFile>
#include <QTest>

#include <limits>

using namespace zentraq;
using text::FaceChain;
using text::RasterGlyph;
using text::TextRenderer;

static constexpr Colour Red = rgbColour(255, 0, 0);

// The file of an installed face of `family`, empty when there is none.
static QString installedFontFile(const QString& family) {
    FcPattern* p = FcNameParse(reinterpret_cast<const FcChar8*>(family.toUtf8().constData()));
    FcObjectSet* os = FcObjectSetBuild(FC_FILE, static_cast<char*>(nullptr));
    FcFontSet* set = FcFontList(nullptr, p, os);
    FcChar8* file = nullptr;
    if (set && set->nfont > 0)
        FcPatternGetString(set->fonts[0], FC_FILE, 0, &file);
    const QString out = file ? QString::fromUtf8(reinterpret_cast<const char*>(file)) : QString();
    if (set)
        FcFontSetDestroy(set);
    FcObjectSetDestroy(os);
    FcPatternDestroy(p);
    return out;
}

// Ink pixels of `g` outside a w x h cell at the origin.
static int inkOutside(const RasterGlyph& g, int w, int h) {
    int n = 0;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            n += g.isInk(x, y) &&
                 (g.left + x < 0 || g.top + y < 0 || g.left + x >= w || g.top + y >= h);
    return n;
}

class TestTextRendering : public QObject {
    Q_OBJECT

private slots:
    // "宋体" only when fontconfig lists it as installed (never its closest
    // match for a missing family), else AR PL UMing CN.
    void canvasFace() {
        const text::FaceChoice& face = TextRenderer::shared().faces().primary;
        const QStringList simsun{"SimSun", "宋体", "NSimSun", "新宋体"};
        if (std::any_of(simsun.begin(), simsun.end(),
                        [](const QString& f) { return !installedFontFile(f).isEmpty(); }))
            QVERIFY2(simsun.contains(face.family), qPrintable(face.family));
        else
            QCOMPARE(face.file, installedFontFile(QStringLiteral("AR PL UMing CN")));
    }

    // The presets' font sizes, drawn at 96 dots per inch.
    void cell_data() {
        QTest::addColumn<float>("points");
        QTest::addColumn<int>("px");
        QTest::newRow("9 pt") << 9.0f << 12;
        QTest::newRow("12 pt") << 12.0f << 16;
        QTest::newRow("24 pt") << 24.0f << 32;
    }
    // Every GB2312 ideograph, CJK punctuation mark and full-width form inks
    // inside its square cell, every printable ASCII character inside its
    // half-width cell, descenders included; the letters of Latin-1 and Latin
    // Extended-A (wider ones too) and the quotation marks down to "„" keep
    // their accents, cedillas and ogoneks within the cell's rows. "|" stands
    // in the middle where the outline places it (a strike decides for
    // itself). Printing paints the ink colour and nothing else: no grey.
    void cell() {
        QFETCH(float, points);
        QFETCH(int, px);
        QCOMPARE(text::pointsToPixels(points), px);
        std::vector<char32_t> chars = testing::gb2312Ideographs();
        QCOMPARE(chars.size(), std::size_t(6763));
        for (const auto& [from, to] :
             {std::pair{U'!', U'~'}, {U'¡', U'ſ'}, {U'‘', U'‟'}, {U'、', U'〿'}, {U'！', U'～'}})
            for (char32_t cp = from; cp <= to; ++cp)
                chars.push_back(cp);
        TextRenderer& r = TextRenderer::shared();
        for (const char32_t cp : chars) {
            const RasterGlyph& g = r.glyph(cp, px);
            const int w = cp < 127 ? px / 2 : cp < 0x3000 ? std::numeric_limits<int>::max() : px;
            QVERIFY2(std::ranges::count(g.ink, 1) > 0 && inkOutside(g, w, px) == 0,
                     qPrintable(QString::number(uint(cp), 16)));
        }
        // Nor does a glyph depend on what was drawn before it: backwards,
        // each after itself at another size, the glyphs come out the same.
        TextRenderer other(r.faces());
        for (auto cp = chars.rbegin(); cp != chars.rend(); ++cp) {
            other.glyph(*cp, px + 1);
            const RasterGlyph &a = other.glyph(*cp, px), &b = r.glyph(*cp, px);
            QVERIFY2(a.ink == b.ink && QRect(a.left, a.top, a.width, a.height) ==
                                           QRect(b.left, b.top, b.width, b.height),
                     qPrintable(QString::number(uint(*cp), 16)));
        }
        for (const char32_t cp : {U'g', U'y', U'p', U'q', U'j'}) {
            const RasterGlyph& g = r.glyph(cp, px);
            QVERIFY(g.top + g.height > r.baseline(g.face, px));
        }
        const RasterGlyph& bar = r.glyph(U'|', px);
        QVERIFY(bar.fromStrike || std::abs(bar.left - (px / 2 - bar.left - bar.width)) <= 1);

        GlyphCanvas canvas;
        canvas.setFontSize(points);
        canvas.setForeColor(rgbColour(0, 0, 128));
        canvas.Print(u"国g@");
        int ink = 0;
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                const Colour c = canvas.GetPixel(x, y);
                QVERIFY(c == Red || c == rgbColour(0, 0, 128));
                ink += c != Red;
            }
        }
        QVERIFY(ink > 10);
    }

    // The cache keeps what fits its limit and renders the rest again, the
    // same; a glyph larger than the whole limit is still handed out whole.
    void cacheIsBounded_data() {
        QTest::addColumn<std::size_t>("limit");
        QTest::addColumn<int>("px");
        QTest::newRow("nothing cached") << std::size_t(0) << 24;
        QTest::newRow("a few 24 px glyphs") << std::size_t(4096) << 24;
        QTest::newRow("less than one 256 px glyph") << std::size_t(4096) << 256;
    }
    void cacheIsBounded() {
        QFETCH(std::size_t, limit);
        QFETCH(int, px);
        TextRenderer& all = TextRenderer::shared();
        TextRenderer bounded(all.faces(), limit);
        const std::u32string text = U"永和九年岁在癸丑暮春之初永和Ag永";
        for (int pass = 0; pass < 2; ++pass)
            for (const char32_t cp : text) {
                const RasterGlyph& got = bounded.glyph(cp, px);
                const std::size_t inCache = bounded.cacheBytes();
                const RasterGlyph& want = all.glyph(cp, px);
                QVERIFY(got.ink == want.ink && got.advance == want.advance &&
                        QRect(got.left, got.top, got.width, got.height) ==
                            QRect(want.left, want.top, want.width, want.height));
                QVERIFY(inCache <= std::max(limit, got.ink.size() + 256));
            }
    }

    // A character the canvas face lacks comes from the next face that has
    // it; one no face has is the canvas face's missing-glyph shape. Faces
    // that cannot be opened, or none at all, draw nothing without failing.
    void faceChain() {
        const FaceChain missing{{QStringLiteral("/nonexistent.ttf"), 0, {}}, {}};
        QCOMPARE(std::ranges::count(TextRenderer(missing).glyph(U'中', 16).ink, 1), 0);
        QCOMPARE(std::ranges::count(TextRenderer(FaceChain{}).glyph(U'A', 16).ink, 1), 0);
        const QString sans = installedFontFile(QStringLiteral("DejaVu Sans"));
        const QString ming = installedFontFile(QStringLiteral("AR PL UMing CN"));
        if (sans.isEmpty() || ming.isEmpty())
            QSKIP("needs DejaVu Sans and AR PL UMing CN");
        TextRenderer r(FaceChain{{sans, 0, {}}, {{ming, 0, {}}}});
        QCOMPARE(r.glyph(U'A', 16).face, 0);
        QCOMPARE(r.glyph(U'中', 16).face, 1);
        QCOMPARE(r.glyph(U'\U000F0000', 16).face, 0);
    }

    // The pinned default face against the golden file; other faces (or
    // another version of it) have none. After an intended change, run
    // scripts/regen-glyph-golden.sh and review the diff.
    void matchesGolden() {
        QFile file(QStringLiteral(ZENTRAQ_GLYPH_GOLDEN));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QStringList want = QString::fromUtf8(file.readAll()).split(u'\n');
        if (TextRenderer::shared().faces().primary.family != QLatin1String("AR PL UMing CN"))
            QSKIP("the canvas face is not AR PL UMing CN");
        const QStringList got = testing::glyphGolden().split(u'\n');
        if (got.first() != want.first())
            QSKIP(qPrintable(QStringLiteral("the golden file is for ") + want.first()));
        QCOMPARE(got, want);
    }

    // The canvas's own operations; sizes that draw nothing do not fail.
    void canvasOperations() {
        GlyphCanvas canvas;
        QCOMPARE(canvas.surface().image(), Surface(25, 25, Red).image());
        canvas.setWidth(12);
        canvas.setHeight(12);
        QCOMPARE(canvas.GetPixel(12, 0), InvalidColour);
        canvas.setFontSize(9);
        canvas.Print(U'A');
        QVERIFY(canvas.CurrentX() > 0);
        QVERIFY(canvas.surface().image() != Surface(12, 12, Red).image());
        canvas.clear();
        QCOMPARE(canvas.CurrentX(), 0);
        QCOMPARE(canvas.surface().image(), Surface(12, 12, Red).image());
        QCOMPARE(text::pointsToPixels(std::nan("")), 0);
        QCOMPARE(text::pointsToPixels(1e30), text::MaxPixelSize);
        canvas.setWidth(-5);
        canvas.Print(U'A');
        QCOMPARE(canvas.width(), 0);
    }
};

QTEST_GUILESS_MAIN(TestTextRendering)
#include "test_text_rendering.moc"

// The glyph canvas and its text drawing: which faces it draws with (the
// fallback chain's bitmap-only and ill-fitting faces too), the cell the
// glyphs land in, one-bit ink only, and the canvas operations (what the
// default face draws of a few texts at every size is pinned by
// tests/identity). Run with the tests' own font configuration (tests/fonts),
// which holds only the faces install-deps.sh installs.
#include "qumo.h"
#include "support/gb2312.h"

#include <fontconfig/fontconfig.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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

// A BDF face of one strike of `px` pixels (ascent px - 2) holding 〱 as a
// block `w` x `h` pixels standing on the baseline `below` rows down.
static QByteArray bdfFace(const char* family, int px, int w, int h, int below) {
    const QString head = QStringLiteral(
        "STARTFONT 2.1\nFONT -zentraq-%1-medium-r-normal--%2-%3-75-75-c-%3-iso10646-1\n"
        "SIZE %2 75 75\nFONTBOUNDINGBOX %4 %5 0 %6\nSTARTPROPERTIES 6\n"
        "FAMILY_NAME \"%1\"\nPIXEL_SIZE %2\nFONT_ASCENT %7\nFONT_DESCENT 2\n"
        "CHARSET_REGISTRY \"ISO10646\"\nCHARSET_ENCODING \"1\"\nENDPROPERTIES\n"
        "CHARS 1\nSTARTCHAR uni3031\nENCODING 12337\nSWIDTH 1000 0\nDWIDTH %2 0\n"
        "BBX %4 %5 0 %6\nBITMAP\n");
    QByteArray out = head.arg(QLatin1String(family))
                         .arg(px)
                         .arg(px * 10)
                         .arg(w)
                         .arg(h)
                         .arg(-below)
                         .arg(px - 2)
                         .toLatin1();
    for (int y = 0; y < h; ++y)
        out += QByteArray((w + 7) / 8 * 2, 'F') + '\n';
    return out + "ENDCHAR\nENDFONT\n";
}

// The test faces in `dir`: tall16 (a 16 px strike whose 〱 is 24 rows high),
// fit16 and fit12 (strikes whose 〱 fits). An error message, or empty.
static QString writeTestFaces(const QString& dir) {
    const QList<std::pair<const char*, QByteArray>> faces{
        {"tall16", bdfFace("Zentraq Tall", 16, 12, 24, 4)},
        {"fit16", bdfFace("Zentraq Fit", 16, 12, 12, 0)},
        {"fit12", bdfFace("Zentraq Small", 12, 8, 9, 0)},
    };
    for (const auto& [name, bytes] : faces) {
        QFile f(QDir(dir).filePath(QString::fromLatin1(name) + QStringLiteral(".bdf")));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return f.fileName() + QStringLiteral(": ") + f.errorString();
    }
    return {};
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

    // Faces that cannot be opened, or none at all, draw nothing without
    // failing.
    void unusableFaces() {
        const FaceChain missing{{QStringLiteral("/nonexistent.ttf"), 0, {}}, {}};
        QCOMPARE(std::ranges::count(TextRenderer(missing).glyph(U'中', 16).ink, 1), 0);
        QCOMPARE(std::ranges::count(TextRenderer(FaceChain{}).glyph(U'A', 16).ink, 1), 0);
    }

    // Which face a character the canvas face lacks comes from (〱 here), the
    // canvas face's missing-glyph shape when none has it: a bitmap-only face
    // only at the size of its strike; a fallback whose glyph is taller than
    // the cell passed over for the next face that has the character and
    // fits, kept when none does; the canvas face's own glyph kept whatever
    // its size. The faces are BDF strikes made here.
    void fallbackChoice_data() {
        QTest::addColumn<QStringList>("chain"); // after the canvas face ("ming" for UMing)
        QTest::addColumn<int>("px");
        QTest::addColumn<QString>("from"); // the face drawn from; "ming": the missing shape
        QTest::newRow("a strike at its size") << QStringList{"ming", "fit16"} << 16 << "fit16";
        QTest::newRow("no strike at 12 px") << QStringList{"ming", "fit16"} << 12 << "ming";
        QTest::newRow("taller than the cell, passed over")
            << QStringList{"ming", "tall16", "fit16"} << 16 << "fit16";
        QTest::newRow("taller than the cell, no other")
            << QStringList{"ming", "tall16"} << 16 << "tall16";
        QTest::newRow("the other without the size")
            << QStringList{"ming", "tall16", "fit12"} << 16 << "tall16";
        QTest::newRow("the tall face without the size")
            << QStringList{"ming", "tall16", "fit12"} << 12 << "fit12";
        QTest::newRow("the canvas face's own glyph")
            << QStringList{"tall16", "fit16"} << 16 << "tall16";
    }
    void fallbackChoice() {
        QFETCH(QStringList, chain);
        QFETCH(int, px);
        QFETCH(QString, from);
        const QString ming = installedFontFile(QStringLiteral("AR PL UMing CN"));
        QVERIFY2(!ming.isEmpty(), "fonts-arphic-uming is missing");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString files = writeTestFaces(dir.path());
        QVERIFY2(files.isEmpty(), qPrintable(files));
        const auto fileOf = [&](const QString& name) {
            return name == u"ming" ? ming : dir.filePath(name + QStringLiteral(".bdf"));
        };
        FaceChain faces{{fileOf(chain.first()), 0, {}}, {}};
        for (const QString& name : chain.mid(1))
            faces.fallbacks.push_back({fileOf(name), 0, {}});
        TextRenderer r(faces);
        const RasterGlyph& g = r.glyph(U'〱', px);
        QVERIFY(g.face >= 0);
        const QString drawn =
            g.face == 0 ? faces.primary.file : faces.fallbacks[std::size_t(g.face - 1)].file;
        QCOMPARE(drawn, fileOf(from));
        QCOMPARE(r.hasCharacter(U'〱', px), from != u"ming");
        QVERIFY(std::ranges::count(g.ink, 1) > 0);
        if (from == u"tall16")
            QCOMPARE(g.top, 0); // moved in from its top, cut at the bottom
        else
            QVERIFY(g.top >= 0 && g.top + g.height <= px);
    }

    // The canvas chain takes bitmap-only faces that fontconfig lists (a
    // private configuration of the test faces beside the pinned ones):
    // drawn at their strike's size only.
    void canvasChainTakesStrikes() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString files = writeTestFaces(dir.path());
        QVERIFY2(files.isEmpty(), qPrintable(files));
        const QString conf = dir.filePath(QStringLiteral("fonts.conf"));
        QFile f(conf);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<?xml version=\"1.0\"?>\n<fontconfig>\n<include>" + qgetenv("FONTCONFIG_FILE") +
                "</include>\n<dir>" + QFile::encodeName(dir.path()) + "</dir>\n<cachedir>" +
                QFile::encodeName(dir.filePath("cache")) +
                "</cachedir>\n<selectfont><acceptfont><glob>" + QFile::encodeName(dir.path()) +
                "/fit16.bdf</glob></acceptfont></selectfont>\n</fontconfig>\n");
        f.close();
        if (qgetenv("FONTCONFIG_FILE").isEmpty())
            QSKIP("the tests' own font configuration is not in use");
        FcConfig* config = FcConfigCreate();
        QVERIFY(FcConfigParseAndLoad(
            config, reinterpret_cast<const FcChar8*>(QFile::encodeName(conf).constData()), FcTrue));
        QVERIFY(FcConfigBuildFonts(config));
        FcConfig* before = FcConfigReference(nullptr);
        FcConfigSetCurrent(config);
        FcConfigDestroy(config);
        const FaceChain faces = text::resolveCanvasFaces();
        FcConfigSetCurrent(before);
        FcConfigDestroy(before);

        QCOMPARE(faces.primary.family, QStringLiteral("AR PL UMing CN"));
        const QString strike = dir.filePath(QStringLiteral("fit16.bdf"));
        const auto at = std::ranges::find_if(
            faces.fallbacks, [&](const text::FaceChoice& c) { return c.file == strike; });
        QVERIFY(at != faces.fallbacks.end());
        TextRenderer r(faces);
        QCOMPARE(r.glyph(U'〱', 16).face, int(at - faces.fallbacks.begin()) + 1);
        QCOMPARE(r.glyph(U'〱', 12).face, 0);
        QCOMPARE(r.glyph(U'〱', 32).face, 0);
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

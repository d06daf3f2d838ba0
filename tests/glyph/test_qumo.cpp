// The text-to-glyph-data conversion on a real canvas with the real renderer.
#include "hexbyte.h"
#include "qumo.h"
#include "runtime_error.h"
#include "scanglyph.h"

#include <QRegularExpression>
#include <QTest>

using namespace zentraq;
using namespace zentraq::glyph;

namespace {

GlyphData convert(const QString& text, int preset) {
    const SizePreset& p = SizePresets[static_cast<std::size_t>(preset)];
    GlyphCanvas canvas;
    prepareCanvas(canvas, p.width, p.height, p.square);
    return qumo(text, canvas, p.width, p.height);
}

QStringList lines(const QString& data) {
    QStringList l = data.split(QStringLiteral("\r\n"));
    if (!l.isEmpty() && l.last().isEmpty())
        l.removeLast();
    return l;
}

// The bytes of one data line.
std::vector<std::uint8_t> bytesOf(const QString& line) {
    std::vector<std::uint8_t> out;
    for (const QString& item : line.split(u',', Qt::SkipEmptyParts))
        out.push_back(static_cast<std::uint8_t>(item.mid(2).toInt(nullptr, 16)));
    return out;
}

int presetIndex(int w, int h) {
    for (std::size_t i = 0; i < SizePresets.size(); ++i) {
        if (SizePresets[i].width == w && SizePresets[i].height == h)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

class TestQumo : public QObject {
    Q_OBJECT

private slots:
    void presets_data() {
        QTest::addColumn<int>("preset");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<float>("points");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<int>("lineLength");
        QTest::newRow("12*12") << 0 << "12*12汉字" << 12 << 12 << 9.0f << 12 << 92;
        QTest::newRow("16*16") << 1 << "16*16汉字" << 16 << 16 << 12.0f << 16 << 162;
        QTest::newRow("32*32") << 2 << "32*32汉字" << 32 << 32 << 24.0f << 32 << 642;
        QTest::newRow("6*12") << 3 << "6*12字母" << 6 << 12 << 9.0f << 12 << 47;
        QTest::newRow("8*16") << 4 << "8*16字母" << 8 << 16 << 12.0f << 16 << 82;
        QTest::newRow("16*32") << 5 << "16*32字母" << 16 << 32 << 24.0f << 32 << 322;
    }
    // Each preset sizes the canvas, sets the font from the width and gives one
    // line of the right length per character, every line ending in CR LF.
    void presets() {
        QFETCH(int, preset);
        QFETCH(QString, caption);
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(float, points);
        QFETCH(int, pixels);
        QFETCH(int, lineLength);
        const SizePreset& p = SizePresets[static_cast<std::size_t>(preset)];
        QCOMPARE(QString::fromUtf16(p.caption), caption);

        GlyphCanvas canvas;
        prepareCanvas(canvas, p.width, p.height, p.square);
        QCOMPARE(canvas.width(), w);
        QCOMPARE(canvas.height(), h);
        QCOMPARE(canvas.fontSize(), points);
        QCOMPARE(canvas.pixelSize(), pixels);

        const QString text = QStringLiteral("Morvane电子");
        const GlyphData d = qumo(text, canvas, p.width, p.height);
        QVERIFY(d.text.endsWith(QStringLiteral("\r\n")));
        const QStringList l = lines(d.text);
        QCOMPARE(l.size(), text.size());
        static const QRegularExpression item(QStringLiteral("^(0x[0-9A-F]{2},)+$"));
        for (const QString& line : l) {
            QCOMPARE(line.size() + 2, lineLength);
            QVERIFY2(item.match(line).hasMatch(), qPrintable(line.left(40)));
        }
        QCOMPARE(d.byteCount, qint64(text.size()) * w * h / 8);
        QCOMPARE(d.text.size(), qsizetype(text.size()) * lineLength);
    }

    // Each line holds exactly what the canvas shows after printing the
    // character alone, and the last character's glyph stays in GlyphBytes.
    void lineMatchesTheScannedCanvas() {
        const SizePreset& p = SizePresets[1];
        GlyphCanvas canvas;
        prepareCanvas(canvas, p.width, p.height, p.square);
        const GlyphData d = qumo(QStringLiteral("中A"), canvas, p.width, p.height);
        const QStringList l = lines(d.text);
        QCOMPARE(l.size(), 2);
        QCOMPARE(bytesOf(l[1]), rgbqumo::GlyphBytes);

        GlyphCanvas fresh;
        prepareCanvas(fresh, p.width, p.height, p.square);
        fresh.clear();
        fresh.Print(U'中');
        std::vector<std::uint8_t> expected;
        rgbqumo::ScanGlyph(fresh.surface(), p.width, p.height, expected);
        QCOMPARE(bytesOf(l[0]), expected);
        QVERIFY(std::any_of(expected.begin(), expected.end(), [](std::uint8_t b) { return b != 0; }));
    }

    void asciiFill_data() {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<qint64>("count");
        QTest::newRow("8*16") << 8 << 16 << qint64(1520);
        QTest::newRow("6*12") << 6 << 12 << qint64(855);
        QTest::newRow("32*32") << 32 << 32 << qint64(12160);
    }
    void asciiFill() {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(qint64, count);
        const QString ascii = printableAscii();
        QCOMPARE(ascii.size(), 95);
        QCOMPARE(ascii.front(), QChar(u' '));
        QCOMPARE(ascii.back(), QChar(u'~'));
        const GlyphData d = convert(ascii, presetIndex(w, h));
        QCOMPARE(d.byteCount, count);
        QCOMPARE(lines(d.text).size(), 95);
        QCOMPARE(dataSizeCaption(d.byteCount), QStringLiteral("数据大小:") + QString::number(count));
    }

    // The space draws nothing: its line is all zero bytes. Visible ASCII
    // characters all leave ink.
    void spaceIsZeros() {
        const GlyphData d = convert(QStringLiteral(" "), presetIndex(6, 12));
        QCOMPARE(d.text, QString(QStringLiteral("0x00,").repeated(9) + QStringLiteral("\r\n")));
        const QStringList l = lines(convert(printableAscii(), presetIndex(8, 16)).text);
        for (int i = 1; i < l.size(); ++i)
            QVERIFY2(l[i] != QStringLiteral("0x00,").repeated(16), qPrintable(QString(QChar(32 + i))));
    }

    void crLfHandling_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("characters");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("only CR LF pairs") << QStringLiteral("\r\n\r\n") << 0;
        QTest::newRow("A CR LF B") << QStringLiteral("A\r\nB") << 2;
        QTest::newRow("CR x LF stays") << QStringLiteral("\rx\n") << 3;
        QTest::newRow("CR CR LF leaves one CR") << QStringLiteral("\r\r\n") << 1;
        QTest::newRow("LF CR is not a pair") << QStringLiteral("\n\r") << 2;
        QTest::newRow("lone LF") << QStringLiteral("a\nb") << 3;
        QTest::newRow("default input") << QStringLiteral("Morvane电子\r\n") << 9;
    }
    void crLfHandling() {
        QFETCH(QString, text);
        QFETCH(int, characters);
        const GlyphData d = convert(text, presetIndex(8, 16));
        QCOMPARE(lines(d.text).size(), characters);
        QCOMPARE(d.byteCount, qint64(characters) * 16);
        QCOMPARE(d.text.isEmpty(), characters == 0);
    }

    void removeCrLfIsOnePass() {
        QCOMPARE(removeCrLf(u"\r\r\n\n"), QStringLiteral("\r\n"));
        QCOMPARE(removeCrLf(u"a\r\nb\r\n"), QStringLiteral("ab"));
        QCOMPARE(removeCrLf(u"\r"), QStringLiteral("\r"));
    }

    // A character outside the Basic Multilingual Plane is one character and
    // one line, drawn whole; unpaired surrogates are characters of their own.
    void surrogatePairs_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("characters");
        QTest::newRow("U+20000") << QString::fromUcs4(U"\U00020000") << 1;
        QTest::newRow("U+1F600 between letters") << QString::fromUcs4(U"a\U0001F600b") << 3;
        QTest::newRow("pair split by CR LF") << (QString(QChar(0xD840)) + QStringLiteral("\r\n") + QChar(0xDC00)) << 1;
        QTest::newRow("lone high") << QString(QChar(0xD840)) << 1;
        QTest::newRow("lone low then high") << (QString(QChar(0xDC00)) + QChar(0xD840)) << 2;
    }
    void surrogatePairs() {
        QFETCH(QString, text);
        QFETCH(int, characters);
        const GlyphData d = convert(text, presetIndex(16, 16));
        QCOMPARE(lines(d.text).size(), characters);
        QCOMPARE(d.byteCount, qint64(characters) * 32);
    }

    // More characters than a 16-bit count holds: all of them are converted,
    // and the result equals converting the text in pieces.
    void longTextConvertedWhole() {
        const QString piece = QStringLiteral("字a");
        const QString text = piece.repeated(20000); // 40000 characters
        const GlyphData whole = convert(text, presetIndex(6, 12));
        QCOMPARE(whole.byteCount, qint64(40000) * 9);
        QCOMPARE(lines(whole.text).size(), 40000);
        const GlyphData one = convert(piece, presetIndex(6, 12));
        QCOMPARE(whole.text, one.text.repeated(20000));
    }

    // An oversized cell is refused before anything is drawn.
    void oversizedCellRefused() {
        GlyphCanvas canvas;
        canvas.setWidth(10);
        canvas.setHeight(10);
        canvas.surface().setPixel(0, 0, rgbColour(1, 2, 3));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, qumo(u"A", canvas, 256, 256));
        QCOMPARE(canvas.GetPixel(0, 0), rgbColour(1, 2, 3));
    }

    // A converted empty text leaves the canvas as it was.
    void emptyTextLeavesCanvas() {
        GlyphCanvas canvas;
        prepareCanvas(canvas, 16, 16, true);
        canvas.Print(U'中');
        const QImage before = canvas.surface().image().copy();
        const GlyphData d = qumo(u"\r\n", canvas, 16, 16);
        QVERIFY(d.text.isEmpty());
        QCOMPARE(d.byteCount, qint64(0));
        QCOMPARE(canvas.surface().image(), before);
        QCOMPARE(dataSizeCaption(0), QStringLiteral("数据大小:0"));
    }

    // A wide character in a half-width cell keeps its left part.
    void wideCharacterInLetterCellKeepsLeftPart() {
        const QStringList square = lines(convert(QStringLiteral("国"), presetIndex(16, 16)).text);
        const QStringList half = lines(convert(QStringLiteral("国"), presetIndex(8, 16)).text);
        const std::vector<std::uint8_t> s = bytesOf(square[0]);
        const std::vector<std::uint8_t> h = bytesOf(half[0]);
        QCOMPARE(h.size(), std::size_t(16));
        for (int row = 0; row < 16; ++row)
            QCOMPARE(h[row], s[row * 2]); // the left eight pixels of each row
    }
};

QTEST_GUILESS_MAIN(TestQumo)
#include "test_qumo.moc"

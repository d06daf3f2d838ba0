// The text-to-glyph-data conversion on a headless canvas with the real
// renderer: what the window tests do not reach through the buttons.
#include "hexbyte.h"
#include "qumo.h"
#include "scanglyph.h"

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

    // One exact left-to-right pass: what a removal brings together is not
    // removed again.
    void removeCrLfIsOnePass() {
        QCOMPARE(removeCrLf(u"\r\r\n\n"), QStringLiteral("\r\n"));
        QCOMPARE(removeCrLf(u"a\r\nb\r\n"), QStringLiteral("ab"));
        QCOMPARE(removeCrLf(u"\n\r"), QStringLiteral("\n\r"));
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

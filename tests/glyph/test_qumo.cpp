// The text-to-glyph-data conversion on a headless canvas with the real
// renderer: what the conversion makes of the text, line by line.
#include "qumo.h"

#include <QTest>

using namespace zentraq;
using namespace zentraq::glyph;
using namespace Qt::StringLiterals;

static GlyphData convert(const QString& text, std::size_t preset) {
    const SizePreset& p = SizePresets[preset];
    GlyphCanvas canvas;
    prepareCanvas(canvas, p.width, p.height, p.square);
    return qumo(text, canvas, p.width, p.height);
}

class TestQumo : public QObject {
    Q_OBJECT

private slots:
    // CR LF pairs are removed in one exact left-to-right pass; what is left,
    // a lone CR or LF included, is converted character by character. A
    // surrogate pair is one character, an unpaired surrogate one of its own.
    void characters_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<int>("count");
        const QString hi(QChar(0xD840)), lo(QChar(0xDC00));
        // clang-format off
        QTest::newRow("empty") << u""_s << u""_s << 0;
        QTest::newRow("only CR LF") << u"\r\n\r\n"_s << u""_s << 0;
        QTest::newRow("CR x LF") << u"\rx\n"_s << u"\rx\n"_s << 3;
        QTest::newRow("CR CR LF") << u"\r\r\n"_s << u"\r"_s << 1;
        QTest::newRow("CR CR LF LF: one pass") << u"\r\r\n\n"_s << u"\r\n"_s << 2;
        QTest::newRow("U+20000") << hi + lo << hi + lo << 1;
        QTest::newRow("pair split by CR LF") << hi + u"\r\n"_s + lo << hi + lo << 1;
        QTest::newRow("lone low then high") << lo + hi << lo + hi << 2;
        // clang-format on
    }
    void characters() {
        QFETCH(QString, text);
        QFETCH(QString, kept);
        QFETCH(int, count);
        QCOMPARE(removeCrLf(text), kept);
        const GlyphData d = convert(text, 4); // 8*16: 16 bytes, 82 characters a line
        QCOMPARE(d.text.size(), count * 82);
        QCOMPARE(d.text.count(QStringLiteral("\r\n")), count);
        QCOMPARE(d.byteCount, count * 16);
    }

    // More characters than a 16-bit count holds: all of them are converted,
    // and the result equals converting the text in pieces.
    void longTextConvertedWhole() {
        const QString piece = QStringLiteral("字a");
        const GlyphData whole = convert(piece.repeated(20000), 3); // 40000 characters at 6*12
        QCOMPARE(whole.byteCount, 40000 * 9);
        QCOMPARE(whole.text, convert(piece, 3).text.repeated(20000));
    }
};

QTEST_GUILESS_MAIN(TestQumo)
#include "test_qumo.moc"

// The character sets of font libraries: every assigned GB2312 code against
// the system's iconv, the slot arithmetic of GBK and ASCII, and the
// characters of a text.
#include "charsets.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace zentraq::glyph;

Q_DECLARE_METATYPE(CharsetProblem)

class TestCharsets : public QObject {
    Q_OBJECT

private slots:
    // Each of the 87 x 94 codes on a line of its own through iconv, which
    // leaves the lines of unassigned codes empty: the same 7445 characters in
    // the same slots.
    void gb2312AgreesWithIconv() {
        const QString iconv = QStandardPaths::findExecutable(QStringLiteral("iconv"));
        if (iconv.isEmpty())
            QSKIP("no iconv");
        QByteArray codes;
        for (int row = 0xA1; row <= 0xF7; ++row)
            for (int cell = 0xA1; cell <= 0xFE; ++cell)
                codes.append(char(row)).append(char(cell)).append('\n');
        QProcess p;
        p.start(iconv, {"-c", "-f", "GB2312", "-t", "UTF-32LE"});
        QVERIFY(p.waitForStarted());
        p.write(codes);
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(60000));
        const QByteArray out = p.readAllStandardOutput();
        QCOMPARE(out.size() % 4, 0);
        QList<QList<char32_t>> lines{{}};
        for (qsizetype i = 0; i < out.size(); i += 4) {
            const auto* b = reinterpret_cast<const uchar*>(out.constData() + i);
            const char32_t cp = char32_t(b[0] | b[1] << 8 | b[2] << 16 | uint(b[3]) << 24);
            if (cp == U'\n')
                lines.append(QList<char32_t>());
            else
                lines.back().append(cp);
        }
        lines.removeLast();

        const CharsetResult set = namedCharset(u"gb2312");
        QCOMPARE(set.problem, CharsetProblem::None);
        QCOMPARE(qsizetype(set.charset.entries.size()), qsizetype(87 * 94));
        QCOMPARE(lines.size(), qsizetype(87 * 94));
        int assigned = 0;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const CharsetSlot& slot = set.charset.entries[std::size_t(i)];
            QCOMPARE(slot.code, int(0xA1 + i / 94) * 256 + int(0xA1 + i % 94));
            const QString where = QString::number(slot.code, 16).toUpper();
            QVERIFY2(slot.assigned == !lines[i].isEmpty(), qPrintable(where));
            if (slot.assigned) {
                QVERIFY2(lines[i] == QList<char32_t>{slot.cp},
                         qPrintable(where + ": " + QString::number(slot.cp, 16)));
                ++assigned;
            }
        }
        QCOMPARE(assigned, 7445);
        QCOMPARE(set.charset.entries[2 * 94 + 6].cp, U'\uFF07'); // 0xA3A7
    }

    // GBK: slot (lead - 0x81) * 190 + trail - 0x40 - (trail > 0x7F).
    void gbkSlots() {
        const CharsetResult set = namedCharset(u"gbk");
        QCOMPARE(set.problem, CharsetProblem::None);
        const std::vector<CharsetSlot>& e = set.charset.entries;
        QCOMPARE(e.size(), std::size_t(126 * 190));
        QCOMPARE(e[0].code, 0x8140);
        QCOMPARE(e[0].cp, U'\u4E02');
        QCOMPARE(e[9026].code, 0xB0A1);
        QCOMPARE(e[9026].cp, U'\u554A'); // 啊
        QCOMPARE(e[0x3F].code, 0x8180);  // 0x817F is no code
        QVERIFY(!e[7886].assigned);      // 0xAAA1, user-defined
        QCOMPARE(set.charset.entries.back().code, 0xFEFE);
    }

    void ascii() {
        const CharsetResult set = namedCharset(u"ascii");
        QCOMPARE(set.charset.characters().size(), std::size_t(95));
        QCOMPARE(set.charset.characters().front(), U' ');
        QCOMPARE(set.charset.characters().back(), U'~');
        QVERIFY(namedCharset(u"big5").charset.entries.empty());
    }

    void textCharsets_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<CharsetProblem>("problem");
        QTest::addColumn<QString>("characters");
        QTest::newRow("sorted, each once, without controls")
            << QStringLiteral("\uFEFF中A中\r\nb\tA\U0001F600").toUtf8() << CharsetProblem::None
            << QStringLiteral("Ab中\U0001F600"); // the byte-order mark is no character
        QTest::newRow("not UTF-8") << QByteArray("A\xC3(") << CharsetProblem::NotUtf8 << "";
        QTest::newRow("controls only")
            << QByteArray("\r\n\t") << CharsetProblem::NoCharacters << "";
    }

    void textCharsets() {
        QFETCH(QByteArray, text);
        QFETCH(CharsetProblem, problem);
        QFETCH(QString, characters);
        const CharsetResult set = textCharset(text);
        QCOMPARE(set.problem, problem);
        const std::vector<char32_t> chars = set.charset.characters();
        QCOMPARE(QString::fromUcs4(chars.data(), qsizetype(chars.size())), characters);
    }
};

QTEST_GUILESS_MAIN(TestCharsets)
#include "test_charsets.moc"

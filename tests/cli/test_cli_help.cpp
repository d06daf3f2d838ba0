// What zentraq-cli's help says about its output, against what it writes: the
// numbers and rules are read from the help text itself, so a help that drifts
// from the tool fails here.

#include "cli_runner.h"

#include <QImage>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using zentraq::testing::CliRun;
using zentraq::testing::runCli;

namespace {

QString helpOf(const char* command) {
    const CliRun r = runCli({u"help"_s, QString::fromLatin1(command)});
    // One paragraph: the help wraps its lines anywhere.
    return QString::fromUtf8(r.out).simplified();
}

// The numbers a help statement gives, or an empty list when it says no such
// thing.
QList<qint64> numbersIn(const QString& help, const QString& pattern) {
    const QRegularExpressionMatch m = QRegularExpression(pattern).match(help);
    QList<qint64> numbers;
    for (int i = 1; m.hasMatch() && i <= m.lastCapturedIndex(); ++i)
        numbers << m.captured(i).toLongLong();
    return numbers;
}

QByteArray pictureBytes(const QString& file, const QStringList& options) {
    const CliRun r = runCli(QStringList{u"picture"_s, file, u"--binary"_s, u"-q"_s} + options);
    return r.exitCode == 0 ? r.out : QByteArray("<failed: ") + r.err.toUtf8() + '>';
}

// The samples of a packed grey format, first pixel in the lowest bits.
QList<int> unpack(const QByteArray& bytes, int bits) {
    QList<int> samples;
    for (const char byte : bytes)
        for (int shift = 0; shift < 8; shift += bits)
            samples << ((static_cast<unsigned char>(byte) >> shift) & ((1 << bits) - 1));
    return samples;
}

} // namespace

class CliHelpTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private slots:
    // gray8 is the luma by the help's formula; gray4 and gray2 its top bits.
    void greyLevels() {
        const QString help = helpOf("picture");
        const QList<qint64> f = numbersIn(
            help, uR"(gray8: the luma \((\d+) R \+ (\d+) G \+ (\d+) B \+ (\d+)\) / (\d+))"_s);
        QCOMPARE(f.size(), 5);
        QImage picture(64, 32, QImage::Format_RGB32);
        QRandomGenerator random(22);
        QList<int> luma;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const int r = random.bounded(256), g = random.bounded(256), b = random.bounded(256);
                picture.setPixel(x, y, qRgb(r, g, b));
                luma << int((f[0] * r + f[1] * g + f[2] * b + f[3]) / f[4]);
            }
        QVERIFY(picture.save(path("grey.png")));
        const QByteArray gray8 = pictureBytes(path("grey.png"), {u"--pixel"_s, u"gray8"_s});
        QCOMPARE(gray8.size(), luma.size());
        for (int i = 0; i < luma.size(); ++i)
            QCOMPARE(static_cast<unsigned char>(gray8[i]), luma[i]);
        for (const char* format : {"gray4", "gray2"}) {
            const QList<qint64> top =
                numbersIn(help, QString::fromLatin1(format) + uR"(: the top (\d) bits of)"_s);
            QCOMPARE(top.size(), 1);
            const int bits = int(top[0]);
            const QList<int> got = unpack(
                pictureBytes(path("grey.png"), {u"--pixel"_s, QString::fromLatin1(format)}), bits);
            QList<int> expected;
            for (const int l : luma)
                expected << (l >> (8 - bits));
            QCOMPARE(got, expected);
        }
    }

    // Channels of 16 bits, and transparency blended over white.
    void sixteenBitsAndTransparency() {
        const QString help = helpOf("picture");
        QVERIFY(help.contains(u"A channel of 16 bits v becomes round(v / 257)."_s));
        QImage deep(256, 16, QImage::Format_RGBX64);
        QRandomGenerator random(64);
        QList<int> expected;
        for (int y = 0; y < deep.height(); ++y)
            for (int x = 0; x < deep.width(); ++x) {
                const quint16 v[3] = {quint16(random.bounded(65536)),
                                      quint16(random.bounded(65536)), quint16(x * 257 + 128)};
                deep.setPixelColor(x, y, QColor::fromRgba64(v[0], v[1], v[2]));
                for (const quint16 c : v)
                    expected << (2 * c + 257) / 514; // nearest; never a half
            }
        QVERIFY(deep.save(path("deep.png")));
        const QByteArray rgb = pictureBytes(path("deep.png"), {u"--pixel"_s, u"rgb888"_s});
        QCOMPARE(rgb.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(static_cast<unsigned char>(rgb[i]), expected[i]);

        // Every grey c at every alpha a; a grey's luma is the grey itself.
        QVERIFY(help.contains(u"a channel c of alpha a becomes c*a/255 + 255 - a, the product "
                              u"rounded as (c*a + c*a/256 + 128) / 256 in whole numbers"_s));
        QImage clear(256, 256, QImage::Format_ARGB32);
        for (int a = 0; a < 256; ++a)
            for (int c = 0; c < 256; ++c)
                clear.setPixel(c, a, qRgba(c, c, c, a));
        QVERIFY(clear.save(path("clear.png")));
        const QByteArray grey = pictureBytes(path("clear.png"), {u"--pixel"_s, u"gray8"_s});
        QCOMPARE(grey.size(), 256 * 256);
        int wrong = 0;
        for (int a = 0; a < 256; ++a)
            for (int c = 0; c < 256; ++c)
                wrong += static_cast<unsigned char>(grey[a * 256 + c]) !=
                         (c * a + c * a / 256 + 128) / 256 + 255 - a;
        QCOMPARE(wrong, 0);
    }

    // The largest picture the help names is read; one column more is refused
    // in the tool's words, the file named once.
    void pictureSizeLimit() {
        const QList<qint64> n =
            numbersIn(helpOf("picture"), uR"(more than (\d+) pixels \((\d+) x (\d+);)"_s);
        QCOMPARE(n.size(), 3);
        QCOMPARE(n[1] * n[2], n[0]);
        for (const int extra : {0, 1}) {
            QImage mono(int(n[1]) + extra, int(n[2]), QImage::Format_Mono);
            mono.fill(0);
            const QString file = m_dir.filePath(u"limit%1.png"_s.arg(extra));
            QVERIFY(mono.save(file));
            mono = QImage();
            const CliRun r =
                runCli({u"picture"_s, file, u"--binary"_s, u"-q"_s, u"-o"_s, u"/dev/null"_s});
            if (extra == 0) {
                QVERIFY2(r.exitCode == 0, qPrintable(r.err));
                continue;
            }
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.startsWith(u"zentraq-cli: "_s) && r.err.count(u'\n') == 1,
                     qPrintable(r.err));
            QCOMPARE(r.err.count(file), 1);
            QVERIFY2(r.err.contains(u"%1 x %2 pixels"_s.arg(n[1] + 1).arg(n[2])),
                     qPrintable(r.err));
            QVERIFY2(!r.err.contains(QRegularExpression(u"\\p{Han}"_s)), qPrintable(r.err));
        }
    }

    // The two codes where the help says gb2312 and gbk differ hold the
    // characters it names in each.
    void gb2312AndGbk() {
        const QString help = helpOf("library");
        for (const char* code : {"0xA1A4", "0xA1AA"}) {
            const QRegularExpressionMatch m =
                QRegularExpression(
                    QString::fromLatin1(code) +
                    uR"( is U\+([0-9A-F]{4})[A-Z ]* in gb2312 and U\+([0-9A-F]{4})[A-Z ]* in gbk)"_s)
                    .match(help);
            QVERIFY2(m.hasMatch(), code);
            QStringList got;
            for (const char* charset : {"gb2312", "gbk"}) {
                const CliRun r = runCli({u"library"_s, u"--charset"_s, QString::fromLatin1(charset),
                                         u"--size"_s, u"1x1"_s, u"--format"_s, u"c"_s, u"-q"_s});
                const QRegularExpressionMatch line =
                    QRegularExpression(QString::fromLatin1(code) + uR"( U\+([0-9A-F]{4}) )"_s)
                        .match(QString::fromUtf8(r.out));
                got << (line.hasMatch() ? line.captured(1) : u"none"_s);
            }
            QCOMPARE(got, (QStringList{m.captured(1), m.captured(2)}));
            QVERIFY(got[0] != got[1]);
        }
    }
};

QTEST_GUILESS_MAIN(CliHelpTest)
#include "test_cli_help.moc"

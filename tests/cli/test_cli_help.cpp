// What zentraq-cli's help says about its output, against what it writes: the
// numbers and rules are read from the help text itself, so a help that drifts
// from the tool fails here.

#include "cli_runner.h"

#include <QImage>
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

} // namespace

class CliHelpTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // Transparency blended over white: every grey c at every alpha a (a
    // grey's luma is the grey itself).
    void transparency() {
        QVERIFY(helpOf("picture").contains(
            u"a channel c of alpha a becomes c*a/255 + 255 - a, the product "
            u"rounded as (c*a + c*a/256 + 128) / 256 in whole numbers"_s));
        QImage clear(256, 256, QImage::Format_ARGB32);
        for (int a = 0; a < 256; ++a)
            for (int c = 0; c < 256; ++c)
                clear.setPixel(c, a, qRgba(c, c, c, a));
        const QString file = m_dir.filePath(u"clear.png"_s);
        QVERIFY(clear.save(file));
        const CliRun r =
            runCli({u"picture"_s, file, u"--binary"_s, u"-q"_s, u"--pixel"_s, u"gray8"_s});
        QCOMPARE(r.out.size(), 256 * 256);
        int wrong = 0;
        for (int a = 0; a < 256; ++a)
            for (int c = 0; c < 256; ++c)
                wrong += static_cast<unsigned char>(r.out[a * 256 + c]) !=
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
};

QTEST_GUILESS_MAIN(CliHelpTest)
#include "test_cli_help.moc"

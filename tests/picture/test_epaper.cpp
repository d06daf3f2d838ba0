// Colour e-paper panels: every pixel's colour against Pillow's
// quantize(palette=..., dither=NONE) (Debian's python3-pil, the conversion
// of the panels' own Python drivers), live when Pillow is there and always
// against the digests of its answers, taken once and kept here; palette
// files, good and bad. The bytes of packed indices and planes, dithered
// panels and planes read back are pinned by tests/identity.
#include "epaper.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace zentraq;
using namespace zentraq::epaper;

namespace {

// 256 x 128 pixels of 32768 colours, every grey among them.
QImage spectrum() {
    QImage p(256, 128, QImage::Format_RGB32);
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            p.setPixel(x, y,
                       y == 0 ? qRgb(x, x, x)
                              : qRgb(x, (y * 2 + x / 3) % 256, (x * 5 + y * 3) % 256));
    return p;
}

// A palette file of 16 colours, one of them named.
const QByteArray Sixteen = "#000000\n#FFFFFF white\n\r\n#7F7F7F\n#C00000\n#00C000\n#0000C0\n"
                           "#FFD700\n#FF8C00\n#8B4513\n#40E0D0\n#EE82EE\n#808000\n#000080\n"
                           "#008080\n#800080\n#F5F5DC\n";

Panel panelNamed(const QString& name) {
    if (const auto p = builtInPanel(name))
        return *p;
    QString problem;
    return readPalette(Sixteen, name, &problem).value();
}

QByteArray indicesOf(const QImage& picture, const Panel& panel) {
    PanelEncoder encoder(panel, rgbqumo::DitherMode::None, picture.width());
    QByteArray out;
    std::vector<std::uint32_t> samples(std::size_t(picture.width()));
    for (int y = 0; y < picture.height(); ++y) {
        encoder.encodeRow(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), picture.width(),
                          samples.data());
        for (std::uint32_t s : samples)
            out.append(char(s));
    }
    return out;
}

} // namespace

class TestEpaper : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // Every pixel of the spectrum gets Pillow's colour. The digests are the
    // SHA-1 of Pillow's index bytes for this picture and palette.
    void nearestAsPillow_data() {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QByteArray>("digest");
        QTest::newRow("bw") << "bw" << QByteArray("6035e25927cae603d94686985104de57b462840c");
        QTest::newRow("bwr") << "bwr" << QByteArray("dad25fbb99da8f666a5bf4b7db2be8513c09a844");
        QTest::newRow("bwy") << "bwy" << QByteArray("fef56782cbeefca3a792d851d937ff67da7f18b1");
        QTest::newRow("bwry") << "bwry" << QByteArray("1c10fa1dc3a856c464444fb578bfe180bf310cd6");
        QTest::newRow("7color") << "7color"
                                << QByteArray("db5e66183f5f05d983cadb4d475cb3e7c05d1f20");
        QTest::newRow("16 colours from a file")
            << "sixteen.txt" << QByteArray("005cfd51027c869c55634a0d2af4059154892231");
    }
    void nearestAsPillow() {
        QFETCH(QString, panel);
        QFETCH(QByteArray, digest);
        const Panel p = panelNamed(panel);
        const QImage picture = spectrum();
        const QByteArray ours = indicesOf(picture, p);
        QCOMPARE(QCryptographicHash::hash(ours, QCryptographicHash::Sha1).toHex(), digest);

        QProcess check;
        check.start(QStringLiteral("/usr/bin/python3"), {"-c", "import PIL"});
        if (!check.waitForFinished(60000) || check.exitCode() != 0)
            QSKIP("Pillow not found (Debian python3-pil): compared with its digests only");
        QVERIFY(m_dir.isValid());
        const QString png = m_dir.filePath(QStringLiteral("spectrum.png"));
        QVERIFY(picture.save(png));
        QString colours;
        for (QRgb c : p.colours)
            colours += QStringLiteral("%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0'));
        // The palette given to Pillow exactly as listed; an index byte a pixel.
        QProcess pillow;
        pillow.start(QStringLiteral("/usr/bin/python3"), {"-c", R"(
import sys
from PIL import Image
palette = Image.new("P", (1, 1))
palette.putpalette(bytes.fromhex(sys.argv[2]))
indices = Image.open(sys.argv[1]).convert("RGB").quantize(palette=palette, dither=Image.Dither.NONE)
sys.stdout.buffer.write(indices.tobytes())
)",
                                                          png, colours});
        QVERIFY(pillow.waitForFinished(120000));
        QVERIFY2(pillow.exitCode() == 0, pillow.readAllStandardError().constData());
        const QByteArray theirs = pillow.readAllStandardOutput();
        QCOMPARE(theirs.size(), ours.size());
        for (int i = 0; i < int(ours.size()); ++i)
            if (ours[i] != theirs[i])
                QFAIL(qPrintable(QString::asprintf(
                    "pixel (%d, %d) #%06x: ours %d, Pillow's %d", i % 256, i / 256,
                    picture.pixel(i % 256, i / 256) & 0xFFFFFF, ours[i], theirs[i])));
    }

    void paletteFiles_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("colours");
        QTest::addColumn<QString>("problem");
        QTest::newRow("sixteen, a blank line, CR LF") << Sixteen << 16 << QString();
        QTest::newRow("named") << QByteArray("#000000 ink\n#ffffff paper\n#ff0000 Red_2\n") << 3
                               << QString();
        QTest::newRow("five digits") << QByteArray("#000000\n#FFFFF\n") << 0 << "line 2: '#FFFFF'";
        QTest::newRow("not hex") << QByteArray("#00000G\n#FFFFFF\n") << 0 << "line 1:";
        QTest::newRow("two names") << QByteArray("#000000 a b\n#FFFFFF\n") << 0 << "line 1:";
        QTest::newRow("name with a dash")
            << QByteArray("#000000 dark-grey\n#FFFFFF\n") << 0 << "line 1: the name 'dark-grey'";
        QTest::newRow("twice") << QByteArray("#000000\n#ffffff\n#FFFFFF\n") << 0
                               << "line 3: #FFFFFF is in the palette already";
        QTest::newRow("a name twice")
            << QByteArray("#000000 x\n#FFFFFF X\n") << 0 << "line 2: the name 'X' is taken";
        QTest::newRow("one colour") << QByteArray("#000000\n") << 0 << "at least 2 colours";
        QByteArray many;
        for (int i = 0; i < 257; ++i)
            many += QStringLiteral("#%1\n").arg(i * 1000, 6, 16, QLatin1Char('0')).toLatin1();
        QTest::newRow("257 colours") << many << 0 << "line 257: a palette has at most 256";
        QTest::newRow("256 colours") << many.left(many.size() - 8) << 256 << QString();
    }
    void paletteFiles() {
        QFETCH(QByteArray, text);
        QFETCH(int, colours);
        QFETCH(QString, problem);
        QString said;
        const auto p = readPalette(text, QStringLiteral("p.txt"), &said);
        QCOMPARE(p.has_value(), problem.isEmpty());
        if (p)
            QCOMPARE(int(p->colours.size()), colours);
        else
            QVERIFY2(said.contains(problem), qPrintable(said));
    }
};

QTEST_GUILESS_MAIN(TestEpaper)
#include "test_epaper.moc"

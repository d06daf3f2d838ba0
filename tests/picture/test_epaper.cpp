// Colour e-paper panels: every pixel's colour against Pillow's
// quantize(palette=..., dither=NONE) (Debian's python3-pil, the conversion
// of the panels' own Python drivers), live when Pillow is there and always
// against the digests of its answers, taken once and kept here; the bytes of
// packed indices and planes for a picture small enough to write out; planes
// read back to the picture the packed indices give; flat areas that keep
// their mean colour when dithered; palette files, good and bad.
#include "bytearraysink.h"
#include "epaper.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace zentraq;
using namespace zentraq::epaper;
using rgbqumo::DitherMode;

Q_DECLARE_METATYPE(DitherMode)

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

QByteArray indicesOf(const QImage& picture, const Panel& panel, DitherMode dither) {
    PanelEncoder encoder(panel, dither, picture.width());
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

QByteArray panelData(const QImage& picture, const Panel& panel, bool planes, DitherMode dither) {
    rgbqumo::DataSettings data;
    data.dither = dither;
    PanelData d(picture, data, {panel, planes});
    core::ByteArraySink sink;
    core::Formatter out(sink, core::DataForm::Binary);
    d.write(out);
    out.finish();
    return sink.bytes;
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
        const QByteArray ours = indicesOf(picture, p, DitherMode::None);
        QCOMPARE(QCryptographicHash::hash(ours, QCryptographicHash::Sha1).toHex(), digest);

        QProcess check;
        check.start(QStringLiteral("/usr/bin/python3"), {"-c", "import PIL"});
        if (!check.waitForFinished(60000) || check.exitCode() != 0)
            QSKIP("Pillow not found (Debian python3-pil): compared with its digests only");
        QVERIFY(m_dir.isValid());
        const QString png = m_dir.filePath(QStringLiteral("spectrum.png"));
        const QString out = m_dir.filePath(QStringLiteral("indices.bin"));
        QVERIFY(picture.save(png));
        QStringList colours;
        for (QRgb c : p.colours)
            colours << QStringLiteral("%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0'));
        QProcess pillow;
        pillow.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(ZENTRAQ_SOURCE_DIR "/tests/picture/epaper_reference.py"), png,
                      out, colours.join(u',')});
        QVERIFY(pillow.waitForFinished(120000));
        QVERIFY2(pillow.exitCode() == 0, pillow.readAllStandardError().constData());
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray theirs = f.readAll();
        QCOMPARE(theirs.size(), ours.size());
        for (qsizetype i = 0; i < ours.size(); ++i)
            if (ours[i] != theirs[i])
                QFAIL(qPrintable(
                    QStringLiteral("pixel (%1, %2) #%3: ours %4, Pillow's %5")
                        .arg(i % picture.width())
                        .arg(i / picture.width())
                        .arg(picture.pixel(int(i % picture.width()), int(i / picture.width())) &
                                 0xFFFFFF,
                             6, 16, QLatin1Char('0'))
                        .arg(int(ours[i]))
                        .arg(int(theirs[i]))));
    }

    // The bytes themselves: bit order, polarity, padding.
    void bytes_data() {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<bool>("planes");
        QTest::addColumn<QByteArray>("expected");
        // Row 0: black white red white black black red red, and a white
        // ninth pixel; row 1 all white.
        QTest::newRow("bwr packed") << "bwr" << false << QByteArray::fromHex("190a40 555540");
        QTest::newRow("bwr planes") << "bwr" << true << QByteArray::fromHex("7380 ff80 dc80 ff80");
        QTest::newRow("bw") << "bw" << false << QByteArray::fromHex("5080 ff80");
        QTest::newRow("7color packed")
            << "7color" << false << QByteArray::fromHex("0141004410 1111111110");
        QTest::newRow("7color planes, black then red")
            << "7color" << true
            << QByteArray::fromHex("7380ff80 ff80ff80 ff80ff80 dc80ff80 ff80ff80 ff80ff80");
    }
    void bytes() {
        QFETCH(QString, panel);
        QFETCH(bool, planes);
        QFETCH(QByteArray, expected);
        QImage p(9, 2, QImage::Format_RGB32);
        p.fill(Qt::white);
        const QRgb k = qRgb(0, 0, 0), w = qRgb(255, 255, 255), r = qRgb(250, 10, 5);
        const QRgb row[9] = {k, w, r, w, k, k, r, r, w};
        for (int x = 0; x < 9; ++x)
            p.setPixel(x, 0, row[x]);
        const Panel pan = panelNamed(panel);
        QCOMPARE(panelData(p, pan, planes, DitherMode::None).toHex(), expected.toHex());
    }

    // Planes read back to the picture of the packed indices, dithered or not.
    void planesUnpack_data() {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<DitherMode>("dither");
        const QStringList panels = builtInPanelNames() << QStringLiteral("sixteen.txt");
        for (const QString& panel : panels)
            for (DitherMode d : {DitherMode::None, DitherMode::FloydSteinberg, DitherMode::Bayer4})
                QTest::addRow("%s %s", qPrintable(panel), qPrintable(rgbqumo::ditherModeName(d)))
                    << panel << d;
    }
    void planesUnpack() {
        QFETCH(QString, panel);
        QFETCH(DitherMode, dither);
        const Panel p = panelNamed(panel);
        QImage picture = spectrum().scaled(61, 37);
        const QByteArray packed = panelData(picture, p, false, dither);
        const QByteArray planes = panelData(picture, p, true, dither);
        QCOMPARE(planes.size(), panelBytes({p, true}, 61, 37));
        const QImage a = panelPicture(packed, {p, false}, picture.size());
        const QImage b = panelPicture(planes, {p, true}, picture.size());
        QCOMPARE(b, a);
        // And the packed indices are the encoder's.
        const QByteArray indices = indicesOf(picture, p, dither);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                QCOMPARE(a.pixel(x, y), p.colours[std::size_t(indices[y * 61 + x])]);
    }

    // A flat area dithered keeps its mean colour: mixtures of two or three
    // of the panel's colours, within a sixteenth of the distance between
    // them (Bayer: the plans have 16 entries) or a thirty-second
    // (Floyd-Steinberg); a palette step is the whole distance.
    void ditherMeans_data() {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<DitherMode>("dither");
        QTest::addColumn<QRgb>("colour");
        for (DitherMode d : {DitherMode::FloydSteinberg, DitherMode::Bayer4}) {
            const char* name = d == DitherMode::Bayer4 ? "bayer4" : "floyd-steinberg";
            QTest::addRow("bw grey %s", name) << "bw" << d << qRgb(128, 128, 128);
            QTest::addRow("bw light grey %s", name) << "bw" << d << qRgb(200, 200, 200);
            QTest::addRow("bwr pink %s", name) << "bwr" << d << qRgb(255, 160, 160);
            QTest::addRow("bwr dark red %s", name) << "bwr" << d << qRgb(120, 0, 0);
            QTest::addRow("bwr grey-red %s", name) << "bwr" << d << qRgb(150, 60, 60);
            QTest::addRow("bwry orange %s", name) << "bwry" << d << qRgb(255, 128, 0);
            QTest::addRow("7color teal %s", name) << "7color" << d << qRgb(0, 128, 128);
            QTest::addRow("7color brown %s", name) << "7color" << d << qRgb(128, 64, 0);
            QTest::addRow("7color lilac %s", name) << "7color" << d << qRgb(170, 85, 170);
        }
    }
    void ditherMeans() {
        QFETCH(QString, panel);
        QFETCH(DitherMode, dither);
        QFETCH(QRgb, colour);
        const Panel p = panelNamed(panel);
        QImage flat(64, 64, QImage::Format_RGB32);
        flat.fill(colour);
        const QByteArray indices = indicesOf(flat, p, dither);
        double sum[3] = {};
        QSet<int> used;
        for (char i : indices) {
            const QRgb c = p.colours[std::size_t(quint8(i))];
            used << quint8(i);
            sum[0] += qRed(c);
            sum[1] += qGreen(c);
            sum[2] += qBlue(c);
        }
        QVERIFY2(used.size() > 1, "a flat area of a colour between the panel's is mixed");
        // Floyd-Steinberg clamps each value to 0..255, losing a little error
        // where a mix takes colours at both ends (lilac: red, blue and white).
        const double slack = dither == DitherMode::Bayer4 ? 255.0 / 16 : 255.0 / 32;
        const int want[3] = {qRed(colour), qGreen(colour), qBlue(colour)};
        for (int k = 0; k < 3; ++k) {
            const double mean = sum[k] / indices.size();
            QVERIFY2(std::abs(mean - want[k]) <= slack,
                     qPrintable(QStringLiteral("channel %1: mean %2, colour %3")
                                    .arg(k)
                                    .arg(mean)
                                    .arg(want[k])));
        }
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
        QTest::newRow("no hash") << QByteArray("000000\n#FFFFFF\n") << 0 << "line 1:";
        QTest::newRow("two names") << QByteArray("#000000 a b\n#FFFFFF\n") << 0 << "line 1:";
        QTest::newRow("name with a dash")
            << QByteArray("#000000 dark-grey\n#FFFFFF\n") << 0 << "line 1: the name 'dark-grey'";
        QTest::newRow("twice") << QByteArray("#000000\n#ffffff\n#FFFFFF\n") << 0
                               << "line 3: #FFFFFF is in the palette already";
        QTest::newRow("a name twice")
            << QByteArray("#000000 x\n#FFFFFF X\n") << 0 << "line 2: the name 'X' is taken";
        QTest::newRow("one colour") << QByteArray("#000000\n") << 0 << "at least 2 colours";
        QTest::newRow("empty") << QByteArray() << 0 << "at least 2 colours";
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
        if (p) {
            QCOMPARE(int(p->colours.size()), colours);
            QCOMPARE(p->indexBits(), colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8);
        } else {
            QVERIFY2(said.startsWith(problem) || said.contains(problem), qPrintable(said));
        }
    }
};

QTEST_GUILESS_MAIN(TestEpaper)
#include "test_epaper.moc"

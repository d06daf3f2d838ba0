// The palettes of the indexed LVGL formats against pngquant's (Debian's
// pngquant, as a yardstick), without dithering: over 50 icons and photos
// (Debian's adwaita-icon-theme at 48 and 256 px, matplotlib's sample
// pictures, the project's own pictures) at 2, 4, 16
// and 256 colours, the visible error of ours stays within 1.5 times
// pngquant's in every case. The visible error: the mean squared error of the
// picture shown on white and on black (red, green, blue, over every pixel),
// the two averaged; below 1 (a level a channel) both count as exact.
#include "palette.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace zentraq::rgbqumo;

namespace {

QImage quantised(const QImage& picture, int colours) {
    PaletteBuilder builder(colours);
    for (int y = 0; y < picture.height(); ++y)
        builder.addRow(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), picture.width());
    const std::vector<QRgb> palette = builder.build();
    const int bits = colours == 2 ? 1 : colours == 4 ? 2 : colours == 16 ? 4 : 8;
    PaletteEncoder encoder(palette, DitherMode::None, picture.width(), bits);
    QImage out(picture.size(), QImage::Format_ARGB32);
    std::vector<std::uint32_t> indices(std::size_t(picture.width()));
    for (int y = 0; y < picture.height(); ++y) {
        encoder.encodeRow(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), picture.width(),
                          indices.data());
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            row[x] = palette[indices[std::size_t(x)]];
    }
    return out;
}

// The mean squared error of `b` against `a`, shown on white and on black.
double visibleError(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int ap = qAlpha(p), aq = qAlpha(q);
            for (int shift : {16, 8, 0}) {
                const double cp = (p >> shift & 255) * ap / 255.0;
                const double cq = (q >> shift & 255) * aq / 255.0;
                const double black = cp - cq, white = black - (ap - aq);
                sum += (black * black + white * white) / 2;
            }
        }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace

class TestPaletteQuality : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_cases = 0;
    double m_worst = 0; // the largest ratio to pngquant's error past the 1.0 floor
    QString m_where;

    static QStringList pictures() {
        QStringList all;
        for (const QString& size : {u"48x48"_qs, u"256x256"_qs}) {
            QStringList icons;
            QDirIterator it(QStringLiteral("/usr/share/icons/Adwaita/") + size, {"*.png"},
                            QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString f = it.next();
                if (!f.contains(u"symbolic"))
                    icons << f;
            }
            icons.sort();
            const int step = size == u"48x48" ? 8 : 40;
            for (qsizetype i = 0; i < icons.size(); i += step)
                all << icons[i];
        }
        all << QStringLiteral("/usr/share/icons/Adwaita/48x48/places/user-trash.png");
        const QString photos = QStringLiteral("/usr/share/matplotlib/mpl-data/sample_data/");
        all << photos + "grace_hopper.jpg" << photos + "logo2.png"
            << photos + "Minduka_Present_Blue_Pack.png"
            << QStringLiteral(ZENTRAQ_SOURCE_DIR "/docs/screenshot.png")
            << QStringLiteral(ZENTRAQ_SOURCE_DIR "/src/app/icons/zentraq-256.png");
        return all;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void withinPngquant_data() {
        QTest::addColumn<QString>("picture");
        if (QStandardPaths::findExecutable(QStringLiteral("pngquant")).isEmpty() ||
            !QFile::exists(QStringLiteral("/usr/share/icons/Adwaita/48x48"))) {
            QTest::newRow("skipped") << QString();
            return;
        }
        for (const QString& p : pictures())
            if (QFile::exists(p))
                QTest::newRow(qPrintable(p.section(u'/', -2))) << p;
    }
    void withinPngquant() {
        QFETCH(QString, picture);
        if (picture.isEmpty())
            QSKIP("pngquant or the Adwaita icons not found (Debian pngquant, adwaita-icon-theme)");
        const QImage p = QImage(picture).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!p.isNull());
        const QString png = m_dir.filePath(QStringLiteral("in.png"));
        QVERIFY(p.save(png));
        for (int colours : {2, 4, 16, 256}) {
            QProcess q;
            q.setStandardInputFile(png);
            q.start(QStringLiteral("pngquant"), {"--nofs", QString::number(colours), "-"});
            QVERIFY(q.waitForFinished(120000));
            const QImage theirs = QImage::fromData(q.readAllStandardOutput(), "PNG")
                                      .convertToFormat(QImage::Format_ARGB32);
            // pngquant declines a picture it cannot make good enough; it
            // always makes one at these settings.
            QCOMPARE(theirs.size(), p.size());
            const double a = visibleError(p, quantised(p, colours)), b = visibleError(p, theirs);
            if (++m_cases && a > b + 1.0 && a / b > m_worst)
                std::tie(m_worst, m_where) = std::pair(a / b, picture.section(u'/', -2));
            QVERIFY2(a <= b + 1.0 || a <= 1.5 * b,
                     qPrintable(QStringLiteral("%1 colours: ours %2, pngquant's %3")
                                    .arg(colours)
                                    .arg(a, 0, 'f', 1)
                                    .arg(b, 0, 'f', 1)));
        }
    }

    void cleanupTestCase() {
        qInfo("%d cases; the largest ratio to pngquant's error: %.2f, %s", m_cases, m_worst,
              qPrintable(m_where));
    }
};

QTEST_GUILESS_MAIN(TestPaletteQuality)
#include "test_palette_quality.moc"

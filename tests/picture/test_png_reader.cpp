// Every PNG of the made test suite (pngcases.h) read as the window and the
// tool read it, against what each one gave when Qt's own PNG reader still
// decoded them (png_outcomes.tsv, recorded once): the decoded picture (its
// format, size, colour table and pixels) or the reason it was refused, and
// the rows the picture box shows. The quick picture path must show the same
// rows for every file it takes.
#include "imagerows.h"
#include "pictureloader.h"
#include "pngcases.h"
#include "pngrows.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtTest>

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <map>
#include <vector>

namespace {

using namespace zentraq;

QByteArray digest(QCryptographicHash& h) {
    return h.result().toHex().left(16);
}

// The rows of `rows` as the picture box shows them.
QByteArray shownDigest(core::PixelSource& rows) {
    QCryptographicHash h(QCryptographicHash::Sha256);
    std::vector<Argb> row(std::size_t(rows.width()));
    for (int y = 0; y < rows.height(); ++y) {
        rows.read(y, 0, rows.width(), row.data());
        h.addData(QByteArrayView(reinterpret_cast<const char*>(row.data()),
                                 qsizetype(row.size() * sizeof(Argb))));
    }
    return digest(h);
}

// The quick reader's pixels of `file`, or nullptr when it leaves the file to
// the tool's reader.
std::unique_ptr<rgbqumo::PngRows> quickRead(const QByteArray& file) {
    const int fd = ::memfd_create("case.png", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, file.constData(), std::size_t(file.size())) != ssize_t(file.size()) ||
        ::lseek(fd, 0, SEEK_SET) != 0)
        qFatal("cannot make a file in memory");
    std::unique_ptr<rgbqumo::PngRows> rows = rgbqumo::PngRows::read(fd);
    ::close(fd);
    return rows;
}

// The most memory the process has held, in KiB.
long peakKib() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_maxrss;
}

QString problemName(rgbqumo::PictureProblem p) {
    static const char* const names[] = {"unreadable", "not-a-picture", "damaged", "incomplete",
                                        "too-large",  "overclaim",     "metafile"};
    return QString::fromLatin1(names[int(p)]);
}

// What reading `file` as a picture gives, in one line.
QString outcome(const QByteArray& file) {
    QImage picture;
    try {
        picture = rgbqumo::LoadPictureData(file, QStringLiteral("case.png"));
    } catch (const rgbqumo::PictureError& e) {
        return QStringLiteral("refused %1").arg(problemName(e.problem()));
    } catch (const RuntimeError& e) {
        return QStringLiteral("failed %1").arg(int(e.code()));
    } catch (const std::bad_alloc&) {
        return QStringLiteral("no memory");
    }
    QCryptographicHash table(QCryptographicHash::Sha256), pixels(QCryptographicHash::Sha256);
    for (const QRgb c : picture.colorTable())
        table.addData(QByteArrayView(reinterpret_cast<const char*>(&c), sizeof c));
    // Pixel by pixel: the bytes that pad a row are no part of the picture.
    const bool indexed = !picture.colorTable().isEmpty();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const quint64 v = indexed ? quint64(picture.pixelIndex(x, y))
                                      : quint64(picture.pixelColor(x, y).rgba64());
            pixels.addData(QByteArrayView(reinterpret_cast<const char*>(&v), sizeof v));
        }
    core::ImageRows shown(picture);
    return QStringLiteral("format %1 %2x%3 table %4 pixels %5 shown %6")
        .arg(int(picture.format()))
        .arg(picture.width())
        .arg(picture.height())
        .arg(QLatin1String(digest(table)), QLatin1String(digest(pixels)),
             QLatin1String(shownDigest(shown)));
}

std::map<QString, QString> recorded() {
    std::map<QString, QString> out;
    QFile f(QFINDTESTDATA("png_outcomes.tsv"));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 2)
            out[QString::fromUtf8(fields[0])] = QString::fromUtf8(fields[1]);
    }
    return out;
}

} // namespace

class TestPngReader : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void asBefore_data();
    void asBefore();
    void quickPathShowsTheSame_data() { asBefore_data(); }
    void quickPathShowsTheSame();
    void claimsCostNothing_data();
    void claimsCostNothing();

private:
    std::map<QString, QString> m_recorded;
};

void TestPngReader::initTestCase() {
    const QByteArray record = qgetenv("ZENTRAQ_RECORD_PNG_OUTCOMES");
    if (!record.isEmpty()) {
        QFile f(QString::fromLocal8Bit(record));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("# What reading each PNG of pngcases.cpp gave (test_png_reader): the decoded\n"
                "# picture's QImage format, size, and digests of its colour table, its pixels\n"
                "# and the rows the picture box shows; or why it was refused.\n");
        for (const testing::PngCase& c : testing::pngCases())
            f.write((c.name + u'\t' + outcome(c.file) + u'\n').toUtf8());
    }
    m_recorded = recorded();
    QVERIFY2(!m_recorded.empty(), "png_outcomes.tsv is missing");
}

void TestPngReader::asBefore_data() {
    QTest::addColumn<QByteArray>("file");
    for (const testing::PngCase& c : testing::pngCases())
        QTest::newRow(c.name.toUtf8().constData()) << c.file;
}

void TestPngReader::asBefore() {
    QFETCH(QByteArray, file);
    const auto it = m_recorded.find(QString::fromUtf8(QTest::currentDataTag()));
    QVERIFY2(it != m_recorded.end(), "a case png_outcomes.tsv does not have");
    QCOMPARE(outcome(file), it->second);
}

void TestPngReader::quickPathShowsTheSame() {
    QFETCH(QByteArray, file);
    const std::unique_ptr<rgbqumo::PngRows> quick = quickRead(file);
    if (!quick)
        return; // left to the tool's reader
    const QString before = m_recorded[QString::fromUtf8(QTest::currentDataTag())];
    QVERIFY2(before.startsWith(QLatin1String("format")), qPrintable(before));
    QCOMPARE(QStringLiteral("shown ") + QLatin1String(shownDigest(*quick)),
             before.mid(before.indexOf(QLatin1String("shown "))));
}

// A chunk that claims up to 4 GiB in a file of 57 bytes is left to the
// tool's usual route (which refuses it) before libpng allocates anything.
void TestPngReader::claimsCostNothing_data() {
    QTest::addColumn<QByteArray>("file");
    for (const testing::PngCase& c : testing::pngCases())
        if (c.name.startsWith(QLatin1String("huge ")))
            QTest::newRow(c.name.toUtf8().constData()) << c.file;
}

void TestPngReader::claimsCostNothing() {
    QFETCH(QByteArray, file);
    const long before = peakKib();
    QVERIFY(!quickRead(file));
    QCOMPARE_LT(peakKib() - before, 32L * 1024);
}

QTEST_GUILESS_MAIN(TestPngReader)
#include "test_png_reader.moc"

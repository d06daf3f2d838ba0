// Picture files as the loader meets them: cut short, unreadable, and too
// large for the memory left. (Icons and cursors with their AND masks are in
// the recorded-output corpus.)
#include "pictureloader.h"
#include "runtime_error.h"
#include "surface.h"

#include <QtTest>

#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <new>

using namespace zentraq;

namespace {

// While it lives, the calling thread obeys file permissions like any user:
// as root, the capabilities that let root read every file are lowered on
// this thread only, and raised again at the end.
class ObeyFilePermissions {
public:
    ObeyFilePermissions() {
        if (geteuid() != 0 || syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~(CAP_TO_MASK(CAP_DAC_OVERRIDE) | CAP_TO_MASK(CAP_DAC_READ_SEARCH));
        m_lowered = syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~ObeyFilePermissions() {
        if (m_lowered)
            syscall(SYS_capset, &m_header, m_saved);
    }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_lowered = false;
};

// While it lives, the process may map only `headroom` more bytes than now.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(qint64 headroom) {
        QFile statm(QStringLiteral("/proc/self/statm")); // first: pages mapped
        const qint64 mapped = statm.open(QIODevice::ReadOnly)
                                  ? statm.readAll().split(' ').value(0).toLongLong() * getpagesize()
                                  : -1;
        m_set = getrlimit(RLIMIT_AS, &m_old) == 0 && mapped > 0;
        rlimit lower = m_old;
        lower.rlim_cur = static_cast<rlim_t>(mapped + headroom);
        m_set = m_set && setrlimit(RLIMIT_AS, &lower) == 0;
    }
    ~AddressSpaceLimit() {
        if (m_set)
            setrlimit(RLIMIT_AS, &m_old);
    }
    bool active() const { return m_set; }

private:
    rlimit m_old{};
    bool m_set = false;
};

// Noise, so that no format compresses it to a few bytes.
QImage noise(int w, int h) {
    QRandomGenerator random(11);
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, random.generate() | 0xFF000000);
    return img;
}

// A complete picture file of the format, written by Qt's writer, or by
// ImageMagick for GIF (Qt cannot write GIF).
QByteArray pictureFile(const QString& folder, const QByteArray& format) {
    const QString png = folder + QStringLiteral("/source.png");
    const QString out = folder + QStringLiteral("/complete.") + QString::fromLatin1(format);
    if (!noise(96, 64).save(png))
        return {};
    if (format == "gif") {
        if (QProcess::execute(QStringLiteral("convert"), {png, out}) != 0)
            return {};
    } else {
        QImageWriter writer(out, format);
        writer.setQuality(90);
        if (!writer.write(QImage(png)))
            return {};
    }
    QFile f(out);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// The description of the failure to load `path`, its code in `code`; empty
// when the picture loads.
QString loadError(const QString& path, int* code = nullptr) {
    try {
        rgbqumo::LoadPicture(path);
    } catch (const RuntimeError& e) {
        if (code)
            *code = e.code();
        return QString::fromUtf8(e.what());
    }
    return {};
}

} // namespace

class TestPictureLoad : public QObject {
    Q_OBJECT

private slots:
    // Each format cut at several points, the last taking the last byte of
    // pixel data: every cut one says the picture is incomplete, also where
    // the decoder reads it without a word (BMP, GIF, a TIFF's tag values).
    // Files that hold every pixel still load: data after the end, stray bytes
    // the JPEG decoder skips, GIF and JPEG files without their end marker.
    void cutOrExtended_data() {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("cut");        // > 0: bytes kept; <= 0: bytes taken off the end
        QTest::addColumn<QByteArray>("add"); // then added at the end
        QTest::addColumn<bool>("loads");
        const QList<std::pair<const char*, int>> lastData{{"bmp", -1},  {"jpeg", -3}, {"gif", -3},
                                                          {"png", -13}, {"tiff", -1}, {"webp", -1}};
        for (const auto& [format, last] : lastData) {
            QTest::newRow(format) << QByteArray(format) << 0 << QByteArray() << true;
            for (int cut : {500, 1200, last})
                QTest::addRow("%s, %d", format, cut)
                    << QByteArray(format) << cut << QByteArray() << false;
        }
        QTest::newRow("png, bytes after its end")
            << QByteArray("png") << 0 << QByteArray("xyz") << true;
        QTest::newRow("gif, no trailer") << QByteArray("gif") << -1 << QByteArray() << true;
        QTest::newRow("jpeg, no end marker") << QByteArray("jpeg") << -2 << QByteArray() << true;
        QTest::newRow("jpeg, stray bytes before its end marker")
            << QByteArray("jpeg") << -2 << QByteArray("\x00\x01\x02\xFF\xD9", 5) << true;
    }
    void cutOrExtended() {
        QFETCH(QByteArray, format);
        QFETCH(int, cut);
        QFETCH(QByteArray, add);
        QFETCH(bool, loads);
        QTemporaryDir dir;
        const QByteArray complete = pictureFile(dir.path(), format);
        QVERIFY2(complete.size() > 2400, qPrintable(QString::number(complete.size())));
        const QString path = dir.filePath(QStringLiteral("picture.") + QString::fromLatin1(format));
        QVERIFY(writeFile(path, complete.left(cut > 0 ? cut : complete.size() + cut) + add));
        int code = 0;
        const QString error = loadError(path, &code);
        if (loads) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            return;
        }
        QVERIFY2(error.contains(QStringLiteral("不完整")) && error.contains(path),
                 qPrintable(error));
        QCOMPARE(code, int(RuntimeError::InvalidPicture));
    }

    // A file the user may not read is not reported as missing. As root the
    // permissions are made to hold by lowering root's override on this
    // thread.
    void accessDenied() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("secret.png"));
        QVERIFY(noise(4, 4).save(path));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
        const ObeyFilePermissions obey;
        if (QFile f(path); f.open(QIODevice::ReadOnly))
            QSKIP("file permissions cannot be made to hold for this process");
        int code = 0;
        const QString error = loadError(path, &code);
        QCOMPARE(code, int(RuntimeError::PermissionDenied));
        QVERIFY2(error.contains(QStringLiteral("拒绝访问")) && error.contains(path),
                 qPrintable(error));
    }

    // Pixel memory that cannot be had is a failure, not an empty picture:
    // the surface throws and keeps what it held, and so does the loader.
    void allocationFailure_data() {
        QTest::addColumn<QString>("step");
        QTest::newRow("surface created") << "create";
        QTest::newRow("surface resized") << "resize";
        QTest::newRow("picture assigned") << "assign";
        QTest::newRow("picture loaded") << "load";
    }
    void allocationFailure() {
        QFETCH(QString, step);
        constexpr int kSide = 5000; // 100 MB of pixels
        QTemporaryDir dir;
        QImage big(kSide, kSide, QImage::Format_RGB32);
        QVERIFY(!big.isNull());
        big.fill(qRgb(1, 2, 3));
        const QString path = dir.filePath(QStringLiteral("big.png"));
        if (step == QLatin1String("load"))
            QVERIFY(big.save(path, "PNG"));
        if (step != QLatin1String("assign"))
            big = QImage();
        Surface surface(3, 2, rgbColour(9, 9, 9));

        bool threw = false;
        {
            const AddressSpaceLimit limit(32 * 1024 * 1024);
            QVERIFY(limit.active());
            try {
                if (step == QLatin1String("create"))
                    Surface(kSide, kSide);
                else if (step == QLatin1String("resize"))
                    surface.resize(kSide, kSide);
                else if (step == QLatin1String("assign"))
                    surface.assign(big);
                else
                    rgbqumo::LoadPicture(path);
            } catch (const std::bad_alloc&) {
                threw = true;
            }
        }
        QVERIFY(threw);
        QCOMPARE(surface.width(), 3);
        QCOMPARE(surface.pixel(2, 1), rgbColour(9, 9, 9));
    }
};

// Under AddressSanitizer a failed allocation returns null, as it does without
// it, instead of ending the test.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

QTEST_GUILESS_MAIN(TestPictureLoad)
#include "test_picture_load.moc"

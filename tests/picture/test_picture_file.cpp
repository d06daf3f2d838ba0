// The one conversion failure that the window cannot reach cheaply. The data
// file's bytes, progress captions, picture formats, transparency and the
// other failures are checked through the window (tests/app/test_picture_window.cpp).
#include "pictureconvert.h"
#include "runtime_error.h"
#include "surface.h"

#include <QtTest>

#include <QFile>
#include <QTemporaryDir>

using namespace zentraq;
using namespace zentraq::rgbqumo;

class TestPictureFile : public QObject {
    Q_OBJECT

private slots:
    // 2 * 32768 * 32768 does not fit 32 bits: the error comes after the file
    // was made, which stays, empty, and before the first pixel.
    void sizeOverflowLeavesEmptyFile() {
        QTemporaryDir dir;
        const QString path = DataFilePath(dir.path());
        bool started = false;
        ConversionHooks hooks;
        hooks.started = [&] { started = true; };
        try {
            ConvertPictureData(Surface(1, 1), 32768, 32768, path, hooks);
            QFAIL("no overflow raised");
        } catch (const RuntimeError& e) {
            QCOMPARE(e.code(), RuntimeError::Overflow);
        }
        QVERIFY(!started);
        QVERIFY(QFile::exists(path));
        QCOMPARE(QFile(path).size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPictureFile)
#include "test_picture_file.moc"

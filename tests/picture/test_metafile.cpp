// Metafiles through the picture loader: damaged and lying files, and a
// converter that crashes, hangs or talks nonsense. What the seeds of
// fuzz/corpus/metafile convert to (the drawings, shapes and sizes, the
// damaged files, an EMF+ record claiming 2 MiB that is left unread, a
// metafile named .png) the recorded-output corpus pins.
#include "metafile.h"
#include "metafileformat.h"
#include "metafilewriter.h"
#include "pictureloader.h"
#include "problemtext.h"
#include "runtime_error.h"

#include <QtTest>

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtEndian>

using namespace zentraq;
using zentraq::testing::WmfWriter;
using Kind = zentraq::metafile::Problem::Kind;

namespace {

QByteArray sceneFile(const QString& kind) {
    return zentraq::testing::sceneMetafile(kind);
}

QByteArray withU32(QByteArray data, qsizetype at, quint32 value) {
    qToLittleEndian(value, data.data() + at);
    return data;
}

// The window's words for the failure to load `data`; empty when it loads.
QString loadError(const QByteArray& data) {
    try {
        rgbqumo::LoadPictureData(data, QStringLiteral("sample"));
    } catch (const RuntimeError& e) {
        return problemText(e);
    }
    return {};
}

} // namespace

class MetafileTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // A stand-in converter: a shell script with `body`.
    void useScript(const QByteArray& body, std::chrono::milliseconds deadline) {
        const QString path = m_dir.filePath(QStringLiteral("converter.sh"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("#!/bin/sh\n" + body + "\n");
        f.close();
        QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        rgbqumo::MetafileConverter c = rgbqumo::DefaultMetafileConverter();
        c.program = path;
        c.bounds.deadline = deadline;
        rgbqumo::SetMetafileConverter(c);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanup() { rgbqumo::SetMetafileConverter(rgbqumo::DefaultMetafileConverter()); }

    // Truncated and lying files fail before any drawing, with what is wrong
    // as values, which the window words. The corpus runs the damaged seeds of
    // fuzz/corpus/metafile through both front ends; these check the values.
    void damaged_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("says");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QList<qint64>>("numbers");
        const QByteArray plain = sceneFile(QStringLiteral("plain"));
        const QByteArray emf = sceneFile(QStringLiteral("emf"));
        const QString cut = QStringLiteral("元文件不完整");
        QTest::newRow("placeable cut to 30 bytes")
            << sceneFile(QStringLiteral("placeable 1440 per inch")).left(30) << cut
            << Kind::HeaderCutShort << QList<qint64>{30, 40};
        QTest::newRow("emf cut short") << emf.left(emf.size() - 4) << cut << Kind::CutShort
                                       << QList<qint64>{emf.size() - 4, emf.size()};
        QTest::newRow("wmf: record of no length")
            << withU32(plain, 18, 0) << QStringLiteral("第 1 个记录（位置 18）长 0 字")
            << Kind::WmfRecordPastEnd << QList<qint64>{1, 18, 0, plain.size()};
    }
    void damaged() {
        QFETCH(QByteArray, file);
        QFETCH(QString, says);
        QFETCH(Kind, kind);
        QFETCH(QList<qint64>, numbers);
        try {
            rgbqumo::LoadPictureData(file, QStringLiteral("sample"));
            QFAIL("loaded");
        } catch (const rgbqumo::PictureError& e) {
            QVERIFY2(problemText(e).startsWith(QStringLiteral("无效图片：")) &&
                         problemText(e).contains(says) &&
                         problemText(e).endsWith(QStringLiteral("：sample")),
                     qPrintable(problemText(e)));
            QCOMPARE(e.code(), RuntimeError::InvalidPicture);
            QVERIFY(e.metafile);
            QCOMPARE(e.metafile->kind, kind);
            for (qsizetype i = 0; i < numbers.size(); ++i)
                QCOMPARE(e.metafile->n[std::size_t(i)], numbers[i]);
            // Cut short is the loader's Incomplete, with the sizes.
            QCOMPARE(e.problem(), e.metafile->cutShort() ? rgbqumo::PictureProblem::Incomplete
                                                         : rgbqumo::PictureProblem::Metafile);
            if (e.metafile->cutShort())
                QCOMPARE((QList<qint64>{e.fileBytes, e.neededBytes}), numbers);
        }
    }

    // A metafile larger than the image reader's limit is refused as any
    // other picture is, with its pixel size.
    void tooLarge() {
        const int before = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(1);
        WmfWriter w;
        w.rectangle(0, 0, 10, 10);
        const QString error = loadError(w.placeable(QRect(0, 0, 1024, 512), 96));
        QImageReader::setAllocationLimit(before);
        QCOMPARE(error, QStringLiteral("图片尺寸过大（1024*512），无法载入：sample"));
    }

    // Whatever the converter does, the load ends in time with a clean failure.
    void converterFaults_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("says");
        QTest::newRow("hangs") << QByteArray("exec tail -f /dev/null")
                               << QStringLiteral("没有画完");
        QTest::newRow("crashes") << QByteArray("kill -SEGV $$") << QStringLiteral("信号 11");
        QTest::newRow("floods its output") << QByteArray("exec yes") << QStringLiteral("输出无效");
        QTest::newRow("wrong size")
            << QByteArray("printf 'ZMF 1 192 144 10 10\\n'; head -c 400 /dev/zero")
            << QStringLiteral("输出无效");
        QTest::newRow("too few pixels")
            << QByteArray("printf 'ZMF 1 192 144 192 144\\n'; head -c 400 /dev/zero")
            << QStringLiteral("输出不完整");
        QTest::newRow("a failure of its own")
            << "printf 'ERR invalid " +
                   metafile::encodeProblem(metafile::Problem(Kind::PlayerFailed, {7})) +
                   "\\n'; exit 1"
            << QStringLiteral("元文件无法播放（错误 7）");
        QTest::newRow("a failure no converter reports")
            << QByteArray("printf 'ERR invalid 记录无效\\n'; exit 1") << QStringLiteral("输出无效");
        QTest::newRow("exits without a word") << QByteArray("exit 3") << QStringLiteral("退出码 3");
        // Its own memory limit ran out, not the caller's memory.
        QTest::newRow("runs out of its memory")
            << QByteArray("cat >/dev/null; printf 'ERR memory\\n'; exit 1")
            << QStringLiteral("元文件转换程序播放记录时");
    }
    void converterFaults() {
        QFETCH(QByteArray, script);
        QFETCH(QString, says);
        // Long enough for any script to finish, except the one that never does.
        const bool hangs = QByteArray(QTest::currentDataTag()) == "hangs";
        useScript(script, std::chrono::milliseconds(hangs ? 1500 : 60000));
        QElapsedTimer timer;
        timer.start();
        const QString error = loadError(sceneFile(QStringLiteral("plain")));
        QVERIFY2(error.startsWith(QStringLiteral("无效图片：")) && error.contains(says),
                 qPrintable(error));
        if (hangs)
            QVERIFY(timer.elapsed() < 20000);
    }

    // The converter's word on a failure comes back whole, or not at all.
    void problemLines_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("read");
        QTest::newRow("the last kind")
            << metafile::encodeProblem(metafile::Problem(Kind::AnswerWrong)) << true;
        QTest::newRow("a kind past the last")
            << QByteArray::number(int(Kind::AnswerWrong) + 1) + " 0 0 0 0 0 0" << false;
        QTest::newRow("a negative kind") << QByteArray("-1 0 0 0 0 0 0") << false;
        QTest::newRow("a field short") << QByteArray("3 0 0 0 0 0") << false;
        QTest::newRow("a field more") << QByteArray("3 0 0 0 0 0 0 0") << false;
        QTest::newRow("words") << QByteArray("3 0 0 x 0 0 0") << false;
        QTest::newRow("no size") << QByteArray("3 0 0 0 0 nan? 0") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void problemLines() {
        QFETCH(QByteArray, line);
        QFETCH(bool, read);
        const std::optional<metafile::Problem> p = metafile::decodeProblem(line);
        QCOMPARE(p.has_value(), read);
        if (read) {
            QCOMPARE(metafile::encodeProblem(*p), line);
        }
    }

    void converterMissing() {
        rgbqumo::MetafileConverter c = rgbqumo::DefaultMetafileConverter();
        c.program = m_dir.filePath(QStringLiteral("no-such-converter"));
        rgbqumo::SetMetafileConverter(c);
        const QString error = loadError(sceneFile(QStringLiteral("emf")));
        QVERIFY2(error.contains(QStringLiteral("找不到元文件转换程序")), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(MetafileTest)
#include "test_metafile.moc"

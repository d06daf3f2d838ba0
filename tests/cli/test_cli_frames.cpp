// zentraq-cli picture --frames and --panel as a process: each frame of the
// shared GIF equals ImageMagick's frame (convert -coalesce) converted alone,
// in the forms that show it on a background; the C table compiles and holds
// the frames' own bytes and the GIF's delays; LVGL image files are one a
// frame; preview draws the frames side by side; and the refusals: exit 1 or
// 2, one line, no file.
#include "animations.h"
#include "cli_runner.h"

#include <QDir>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using zentraq::testing::CliRun;
using zentraq::testing::listing;
using zentraq::testing::readFile;
using zentraq::testing::runCli;
using zentraq::testing::writeFile;

class TestCliFrames : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_gif;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_gif = path(QStringLiteral("anim.gif"));
        QVERIFY(writeFile(m_gif, zentraq::testing::disposalGif()));
        QVERIFY(writeFile(path(QStringLiteral("p.txt")), "#000000\n#12345\n"));
        QVERIFY(writeFile(path(QStringLiteral("q.txt")), "#000000\n#FF0000\n"));
        std::vector<zentraq::testing::GifFrameShape> two(2);
        two[0] = two[1] = {0, 0, 1, 1, 0, -1, 0, false, {0}, {}};
        QVERIFY(writeFile(path(QStringLiteral("huge.gif")),
                          zentraq::testing::writeGif(6000, 5000, {qRgb(0, 0, 0)}, 0, two)));
    }

    // Every frame as ImageMagick's frame alone, in forms that lay it onto a
    // background (the colours of transparent pixels do not show there).
    void framesAsImageMagick_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("rgb565 on white") << QStringList{};
        QTest::newRow("mono, dithered") << QStringList{"--pixel", "mono", "--dither", "bayer4"};
        QTest::newRow("on blue") << QStringList{"--background", "#0000FF"};
        QTest::newRow("bwr panel, planes") << QStringList{"--panel", "bwr", "--planes"};
        QTest::newRow("fitted") << QStringList{"--rotate", "90", "--resize", "12x12"};
    }
    void framesAsImageMagick() {
        QFETCH(QStringList, args);
        if (QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty())
            QSKIP("ImageMagick's convert not found (Debian imagemagick)");
        const QString pattern = path(QStringLiteral("im_%d.png"));
        QCOMPARE(zentraq::testing::runProgram(QStringLiteral("convert"),
                                              {m_gif, "-coalesce", pattern}, {}, {})
                     .exitCode,
                 0);
        for (int i = 0; i < 6; ++i) {
            const CliRun ours =
                runCli(QStringList{"picture", m_gif, "--frames", QString::number(i), "-q"} + args);
            const CliRun theirs = runCli(
                QStringList{"picture", path(QStringLiteral("im_%1.png").arg(i)), "-q"} + args);
            QCOMPARE(ours.exitCode, 0);
            QCOMPARE(theirs.exitCode, 0);
            QCOMPARE(ours.out, theirs.out);
        }
    }

    // The C table compiles (-Werror) and holds each frame's bytes, as one
    // frame alone gives them, and the GIF's delays in ms.
    void tableCompiles_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("c") << QStringList{"--format", "c"};
        QTest::newRow("panel") << QStringList{"--panel", "bwry", "--format", "c"};
        QTest::newRow("c16") << QStringList{"--format", "c16"};
        QTest::newRow("xbm") << QStringList{"--format", "xbm"};
    }
    void tableCompiles() {
        QFETCH(QStringList, args);
        const CliRun c =
            runCli(QStringList{"picture", m_gif, "--frames", "1-4", "--name", "anim", "-q"} + args);
        QCOMPARE(c.exitCode, 0);
        QStringList binary = args;
        for (const char* form : {"--format", "c", "c16", "xbm"})
            binary.removeAll(QString::fromLatin1(form));
        if (args.contains("xbm"))
            binary << "--pixel"
                   << "mono"
                   << "--pad";
        QByteArray first, last;
        for (int i : {1, 4}) {
            const CliRun one = runCli(
                QStringList{"picture", m_gif, "--frames", QString::number(i), "--binary", "-q"} +
                binary);
            QCOMPARE(one.exitCode, 0);
            (i == 1 ? first : last) = one.out;
        }
        const QByteArray size = QByteArray::number(first.size());
        const QByteArray body = "    fwrite(anim_frames[0], 1, " + size +
                                ", stdout);\n"
                                "    fwrite(anim_frames[anim_frame_count - 1], 1, " +
                                size +
                                ", stdout);\n"
                                "    for (unsigned f = 0; f < anim_frame_count; f++)\n"
                                "        printf(\" %u\", anim_durations[f]);\n";
        QTemporaryDir build;
        QString error;
        const QByteArray printed =
            zentraq::testing::compileAndRun(build.path(), c.out, body, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(printed.left(2 * first.size()).toHex(), (first + last).toHex());
        QCOMPARE(printed.mid(2 * first.size()), QByteArray(" 200 300 400 0"));
    }

    // LVGL image files: one a frame, named after OUT, and nothing else; the
    // depfile names each. (Standard output, refused, is in tests/identity.)
    void imageFiles() {
        QTemporaryDir dir;
        const QString out = QDir(dir.path()).filePath(QStringLiteral("walk.bin"));
        const CliRun r = runCli({"picture", m_gif, "--frames", "2-4", "--format", "lvgl-bin",
                                 "--cf", "i4", "-o", out, "--depfile", out + ".d", "-q"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(listing(dir.path()),
                 (QStringList{"walk.bin.d", "walk_2.bin", "walk_3.bin", "walk_4.bin"}));
        const QByteArray rule = readFile(out + ".d");
        for (const char* name : {"walk_2.bin:", "walk_3.bin:", "walk_4.bin:"})
            QVERIFY2(rule.contains(QDir(dir.path()).filePath(name).toUtf8()), rule.constData());
        QVERIFY(rule.contains(m_gif.toUtf8()));
    }

    // preview: the frames of a C table of W x H side by side, a grey line
    // between them; LVGL sources likewise. (Panel data in its colours, and
    // frames of binary data, are pinned by tests/identity.)
    void previewSheet() {
        const QString data = path(QStringLiteral("frames.h"));
        QCOMPARE(runCli({"picture", m_gif, "--frames", "all", "--format", "c", "-q", "-o", data})
                     .exitCode,
                 0);
        const QString png = path(QStringLiteral("sheet.png"));
        QCOMPARE(
            runCli({"preview", data, "--width", "8", "--height", "6", "--columns", "4", "-o", png})
                .exitCode,
            0);
        QImage sheet(png);
        QCOMPARE(sheet.size(), QSize(4 * 9 - 1, 2 * 7 - 1));
        QCOMPARE(sheet.pixel(8, 0) & 0xFFFFFF, 0xA0A0A0u); // the line between frames
        QCOMPARE(sheet.pixel(9, 0) & 0xFFFFFF, 0u);        // frame 1's black block
        QCOMPARE(sheet.pixel(2, 7) & 0xFFFFFF, 0xFF0000u); // frame 4's red cross
        QCOMPARE(sheet.pixel(0, 7) & 0xFFFFFF, 0xFFFFFFu); // frame 4, transparent on white

        const QString lvgl = path(QStringLiteral("frames.c"));
        QCOMPARE(runCli({"picture", m_gif, "--frames", "2-4", "--format", "lvgl", "--cf", "i4",
                         "-q", "-o", lvgl})
                     .exitCode,
                 0);
        QCOMPARE(runCli({"preview", lvgl, "--format", "lvgl", "-o", png}).exitCode, 0);
        QCOMPARE(QImage(png).size(), QSize(3 * 9 - 1, 6));
    }

    // The refusals tests/identity does not run: exit status, one line, no
    // file.
    void refusals_data() {
        zentraq::testing::refusalColumns();
        const QString palette = path("p.txt"), noWhite = path("q.txt");
        const auto row = [this](const char* name, const QStringList& args, int code,
                                const QString& message, const QString& picture = {}) {
            zentraq::testing::refusal(name,
                                      QStringList{"picture", picture.isEmpty() ? m_gif : picture} +
                                          args + QStringList{"-o", path("out.txt")},
                                      code, message);
        };
        // clang-format off
        row("a range past the last", {"--frames", "3-9"}, 2, "there is no frame 9");
        row("not a number", {"--frames", "first"}, 2, "--frames");
        row("a bad palette line", {"--panel", palette}, 1, "line 2: '#12345' is not #RRGGBB");
        row("planes of an LVGL image", {"--planes", "--format", "lvgl"}, 2, "--planes");
        row("planes and a palette without white", {"--panel", noWhite, "--planes"}, 2, "has no white");
        row("frames claiming more than the limit", {"--frames", "all"}, 1, "its 2 frames of 6000 x 5000 pixels make 60000000 pixels", path("huge.gif"));
        // clang-format on
    }
    void refusals() { zentraq::testing::expectRefusal(m_dir.path()); }
};

QTEST_GUILESS_MAIN(TestCliFrames)
#include "test_cli_frames.moc"

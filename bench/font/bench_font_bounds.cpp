// zentraq-cli font under hostile and oversized requests, each as a process
// with its time and peak memory against a ceiling: fonts made here with one
// property each (a class kerning rule over GB2312's 6763 glyphs; one glyph of
// 32000 x 32000 units at 16 units an em, as "A" and as every ASCII
// character), sets at sizes past the glyph data bound (GBK at 256 px, GB2312
// at 1024 px), the largest font and the largest sample the bounds allow, and
// samples past the picture reader's limit. A refused case must be refused
// (exit 1 or 2) within its ceiling, an allowed one made.
//
//   bench_font_bounds [RUNS]      best of RUNS runs of each (default 3)
#include "child_process.h"
#include "fontfaces.h"
#include "support/font_builder.h"
#include "support/gb2312.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

QString faceFile(const char* family) {
    const auto face = zentraq::text::installedFace(QString::fromUtf8(family),
                                                   zentraq::text::FacePreference::OwnNameFirst);
    return face ? face->file : QString();
}

bool save(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The hostile fonts of the audit: GB2312's ideographs kerned by one class
// rule, `pos @ALL @ALL -50` (or not kerned), and one glyph 2000 em a side.
QByteArray kernedFont(bool kerned) {
    std::vector<char32_t> ideographs = zentraq::testing::gb2312Ideographs();
    std::sort(ideographs.begin(), ideographs.end());
    zentraq::testing::TestFont f;
    for (std::size_t i = 0; i < ideographs.size(); ++i) {
        f.glyphs.push_back({50, -100, 950, 800, 1000});
        f.cmap.emplace_back(ideographs[i], unsigned(i + 1));
    }
    const unsigned n = unsigned(ideographs.size());
    if (kerned)
        f.gpos = zentraq::testing::gposTable(
            {{"DFLT", {0}}}, {{"kern", {0}}},
            {zentraq::testing::TestLookup{
                {zentraq::testing::pairPosFormat2(zentraq::testing::rangeCoverage(1, n),
                                                  {{1, n, 1}}, {{1, n, 1}}, {{0, 0}, {0, -50}})}}});
    return f.build();
}

QByteArray hugeGlyphFont(bool ascii) {
    zentraq::testing::TestFont f;
    f.unitsPerEm = 16;
    f.ascender = 14;
    f.descender = -2;
    f.glyphs = {{1, 0, 7, 10, 8}, {0, 0, 32000, 32000, 32000}};
    f.cmap = {{U'A', 1}};
    if (ascii)
        for (char32_t c = 0x20; c <= 0x7E; ++c)
            if (c != U'A')
                f.cmap.emplace_back(c, 1);
    return f.build();
}

QString figures(const bench::ProcessTiming& t) {
    return QStringLiteral("%1 s %2 MiB")
        .arg(t.wall, 6, 'f', 2)
        .arg(double(t.peakKb) / 1024, 7, 'f', 1);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 3 && std::strcmp(argv[1], "--measure") == 0)
        return bench::measureChild(argv[2], argv + 3);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const QString tool = QStringLiteral(ZENTRAQ_CLI);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString kerned = dir.filePath(QStringLiteral("kerned.ttf"));
    const QString plain = dir.filePath(QStringLiteral("plain.ttf"));
    const QString huge = dir.filePath(QStringLiteral("huge.ttf"));
    const QString hugeAscii = dir.filePath(QStringLiteral("huge_ascii.ttf"));
    if (!save(kerned, kernedFont(true)) || !save(plain, kernedFont(false)) ||
        !save(huge, hugeGlyphFont(false)) || !save(hugeAscii, hugeGlyphFont(true)))
        return 1;
    const QString uming = faceFile("AR PL UMing CN");
    const QString sans = faceFile("DejaVu Sans");
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString png = dir.filePath(QStringLiteral("sample.png"));
    const auto lines = [](int count, int length) {
        return QStringList(count, QString(length, u'W')).join(u'\n');
    };
    // The largest GB2312 font the glyph data bound allows: 256 MiB of em
    // squares over AR PL UMing's 7444 characters of the set.
    const int largest = int(std::sqrt(double(256 << 20) / 7444));

    struct Case {
        QString title;
        QString needs; // a file that must exist
        QStringList args;
        bool refused;
        double seconds, mib; // the ceiling
    };
    const QStringList gb2312{"--charset", "gb2312"};
    const std::vector<Case> cases{
        {"class kerning rule over 6763 glyphs, 16 px, LVGL C", kerned,
         QStringList{"--font-file", kerned, "--size", "16", "--format", "lvgl"} + gb2312, false,
         1.0, 64},
        {"the same font without GPOS (for comparison)", plain,
         QStringList{"--font-file", plain, "--size", "16", "--format", "lvgl"} + gb2312, false, 1.0,
         64},
        {"one glyph of 32000 units at 16 an em, as A, LVGL C",
         huge,
         {"--font-file", huge, "--size", "16", "--symbols", "A", "--format", "lvgl"},
         true,
         0.5,
         64},
        {"the same glyph as all of ASCII, LVGL C",
         hugeAscii,
         {"--font-file", hugeAscii, "--size", "16", "--range", "0x20-0x7E", "--format", "lvgl"},
         true,
         0.5,
         64},
        {"the same glyph, vlw",
         huge,
         {"--font-file", huge, "--size", "16", "--symbols", "A", "--format", "vlw"},
         true,
         0.5,
         64},
        {"GBK at 256 px, AR PL UMing",
         uming,
         {"--font-file", uming, "--size", "256", "--charset", "gbk"},
         true,
         0.5,
         64},
        {"GB2312 at 1024 px, AR PL UMing", uming,
         QStringList{"--font-file", uming, "--size", "1024"} + gb2312, true, 0.5, 64},
        {QStringLiteral("GB2312 at %1 px, AR PL UMing: the largest allowed").arg(largest), uming,
         QStringList{"--font-file", uming, "--size", QString::number(largest)} + gb2312, false, 60,
         512},
        {"sample of 4 lines of 186 W at 250 px: the largest allowed",
         sans,
         {"--font-file", sans, "--size", "250", "--symbols", "W", "--sample", lines(4, 186),
          "--sample-output", png},
         false,
         5,
         128},
        {"sample of 4 lines of 3900 W at 250 px",
         sans,
         {"--font-file", sans, "--size", "250", "--symbols", "W", "--sample", lines(4, 3900),
          "--sample-output", png},
         true,
         0.5,
         64},
        {"sample of 20000 W at 250 px",
         sans,
         {"--font-file", sans, "--size", "250", "--symbols", "W", "--sample", lines(1, 20000),
          "--sample-output", png},
         true,
         0.5,
         64},
    };

    std::printf("zentraq-cli font past its bounds: each case a process, best of %d runs;\n"
                "seconds of wall clock and peak resident memory against the case's ceiling.\n\n",
                runs);
    bool missed = false;
    for (const Case& c : cases) {
        if (c.needs.isEmpty()) {
            std::printf("%-62s skipped: its face is not installed\n", qPrintable(c.title));
            continue;
        }
        const bench::ProcessTiming t =
            bench::runProcess(runs, QStringList{tool, "font", "-q", "-o", out} + c.args);
        const bool outcome = c.refused ? (t.exitCode == 1 || t.exitCode == 2) : t.exitCode == 0;
        const bool met = outcome && t.wall < c.seconds && double(t.peakKb) / 1024 < c.mib;
        missed |= !met;
        std::printf("%-62s %-8s %s  ceiling %.1f s %4.0f MiB: %s\n", qPrintable(c.title),
                    t.exitCode == 0  ? "made"
                    : t.exitCode > 0 ? "refused"
                                     : "failed",
                    qPrintable(figures(t)), c.seconds, c.mib,
                    met        ? "met"
                    : !outcome ? (c.refused ? "NOT REFUSED" : "NOT MADE")
                               : "MISSED");
    }
    return missed ? 1 : 0;
}

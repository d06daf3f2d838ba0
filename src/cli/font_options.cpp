// The font command's options: the face groups and their characters, the
// format and its settings, and the result files.
#include "commands.h"
#include "csource.h"
#include "error.h"
#include "input.h"
#include "options.h"
#include "process.h"
#include "sourcechars.h"

namespace zentraq::cli {

QString FontFaceOptions::shown() const {
    return file.isEmpty() ? family : readable(file);
}

namespace {

// The face groups: each --font or --font-file starts one, and the options
// of a face and its characters that follow it belong to it (those before
// the first face to the first).
std::vector<FontFaceOptions> parseFaces(const CommandLine& line) {
    std::vector<FontFaceOptions> faces;
    std::vector<std::pair<std::size_t, std::pair<QString, QString>>> owned;
    for (const auto& given : line.given()) {
        const QString& name = given.first;
        if (name == QLatin1String("font") || name == QLatin1String("font-file")) {
            FontFaceOptions f;
            (name == QLatin1String("font") ? f.family : f.file) = given.second;
            faces.push_back(f);
        } else if (name == QLatin1String("face-index") || name == QLatin1String("range") ||
                   name == QLatin1String("symbols") || name == QLatin1String("charset") ||
                   name == QLatin1String("chars-from") ||
                   name.startsWith(QLatin1String("autohint-"))) {
            owned.emplace_back(faces.empty() ? 0 : faces.size() - 1, given);
        }
    }
    if (faces.empty())
        usageError(QStringLiteral("font needs one face: --font FAMILY or --font-file PATH"));
    std::vector<int> indexes(faces.size(), 0), autohints(faces.size(), 0);
    for (const auto& [at, given] : owned) {
        FontFaceOptions& f = faces[at];
        const auto& [name, value] = given;
        if (name == QLatin1String("face-index")) {
            if (f.file.isEmpty())
                usageError(QStringLiteral("--face-index picks a face of a --font-file"));
            if (++indexes[at] > 1)
                usageError(QStringLiteral("--face-index is given twice for %1").arg(f.shown()));
            f.faceIndex = parseCount("face-index", value, 0, 65535);
        } else if (name == QLatin1String("range")) {
            f.characters.ranges << value;
        } else if (name == QLatin1String("symbols")) {
            f.characters.symbols << value;
        } else if (name == QLatin1String("charset")) {
            f.characters.charsets << value;
        } else if (name == QLatin1String("chars-from")) {
            f.characters.sources << value;
        } else {
            const font::Autohint a = name == QLatin1String("autohint-off") ? font::Autohint::Off
                                                                           : font::Autohint::Strong;
            if (++autohints[at] > 1)
                usageError(f.autohint == a
                               ? QStringLiteral("--%1 is given twice for %2").arg(name, f.shown())
                               : QStringLiteral("--autohint-off and --autohint-strong contradict "
                                                "each other for %1")
                                     .arg(f.shown()));
            f.autohint = a;
        }
    }
    return faces;
}

} // namespace

FontOptions parseFont(const CommandLine& line) {
    FontOptions o;
    if (!line.positional().isEmpty())
        usageError(QStringLiteral("font takes no arguments besides its options, got '%1'")
                       .arg(line.positional().front()));
    o.faces = parseFaces(line);
    o.writer = formatOption(line, font::fontWriters());
    // The format's own options, defaults and limits.
    const LineOptions options(line);
    font::refuseOtherFormatsOptions(*o.writer, options);
    font::FontSettings& s = o.settings;
    s.render.hinting = !line.isSet("no-hinting");
    o.writer->check(s, options);
    s.compress = !line.isSet("no-compress");
    s.prefilter = !line.isSet("no-prefilter");
    s.kerning = !line.isSet("no-kerning");
    s.include = line.value("lv-include").toUtf8();
    const QString name = line.value("name");
    if (!name.isEmpty() && (!isCIdentifier(name) || isCKeyword(name)))
        refuseValue("name", QStringLiteral("a C identifier that is no C keyword"), name);
    s.name = name.toUtf8();
    const QString fallback = line.value("lv-fallback");
    if (!fallback.isEmpty() && (!isCIdentifier(fallback) || isCKeyword(fallback)))
        refuseValue("lv-fallback", QStringLiteral("a C identifier that is no C keyword"), fallback);
    o.fallback = fallback.toUtf8();
    o.sample = line.value("sample");
    o.sampleOutput = line.value("sample-output");
    if (o.sample.isEmpty() != o.sampleOutput.isEmpty())
        usageError(QStringLiteral("--sample TEXT and --sample-output PNG go together"));
    o.output = line.value("output");
    o.files = parseResultFiles(line, o.output);
    // The sample is a second result: it must not take the place of another.
    if (o.sampleOutput == QLatin1String("-") &&
        (o.output.isEmpty() || o.output == QLatin1String("-")))
        usageError(QStringLiteral("the font and its sample cannot both go to standard output; "
                                  "give -o OUT"));
    if (sameFileName(o.sampleOutput, o.output))
        usageError(QStringLiteral("--sample-output and -o name the same file"));
    if (sameFileName(o.sampleOutput, argumentText(o.files.depfile)))
        usageError(QStringLiteral("--sample-output and --depfile name the same file"));
    o.quiet = line.isSet("quiet");
    o.missing = line.isSet("missing");
    if (o.missing && (line.isSet("output") || line.isSet("sample")))
        usageError(QStringLiteral("--missing only lists characters; it takes no output options"));
    o.listChars = line.isSet("list-chars");
    if (o.listChars && (o.missing || line.isSet("output") || line.isSet("sample")))
        usageError(QStringLiteral("--list-chars only lists characters; it takes no output options "
                                  "nor --missing"));
    const auto kind = parsedOption(line, "chars-from-kind", font::sourceKindNamed,
                                   QStringLiteral("c, c++, json, yaml or text"));
    const auto encoding = parsedOption(line, "source-encoding", font::sourceEncodingNamed,
                                       QStringLiteral("utf-8, gbk or gb18030"));
    bool anySources = false;
    for (FontFaceOptions& f : o.faces) {
        f.characters.sourceKind = kind.value_or(font::SourceKind::Guess);
        f.characters.sourceEncoding = encoding.value_or(font::SourceEncoding::Utf8);
        anySources = anySources || !f.characters.sources.isEmpty();
    }
    if ((kind || encoding) && !anySources)
        usageError(
            QStringLiteral("--chars-from-kind and --source-encoding read --chars-from files; "
                           "give one"));
    return o;
}

} // namespace zentraq::cli

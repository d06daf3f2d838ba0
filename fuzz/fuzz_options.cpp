// The command line of zentraq-cli, every command: the input split at NUL
// bytes into arguments, each read as the tool reads its argv (bytes that are
// not UTF-8 kept). Besides the sanitizers, checks that every argument's bytes
// come back whole, that a refused command line is a usage error (exit 2)
// with a message, and that what is accepted is in range: cell and preview
// sizes, counts, a C array name that is an identifier and no keyword.
#include "cli.h"
#include "commands.h"
#include "error.h"
#include "process.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

using namespace zentraq::cli;

bool inRange(long long value, long long low, long long high) {
    return value >= low && value <= high;
}

bool acceptableName(const OutputOptions& o) {
    return o.name.isEmpty() ||
           (isCIdentifier(o.name) && o.name != QLatin1String("int") &&
            o.name != QLatin1String("_Bool") && o.name != QLatin1String("true"));
}

bool acceptableCell(const CellOptions& c) {
    return inRange(c.shape.width, 1, 256) && inRange(c.shape.height, 1, 256) &&
           inRange(c.shape.pixelSize, 0, 2048);
}

// The command line read by the parse function of the command it names.
bool acceptable(const QStringList& args) {
    const CommandDef* command = nullptr;
    for (const CommandDef* c : commands())
        if (!args.isEmpty() && args.front() == QLatin1String(c->name))
            command = c;
    if (!command || asksForHelp(args.mid(1)))
        return true;
    const CommandLine line(*command, args.mid(1), commands());
    if (command == &GlyphCommand) {
        const GlyphOptions o = parseGlyph(line);
        return acceptableCell(o.cell) && acceptableName(o.out);
    }
    if (command == &LibraryCommand) {
        const LibraryOptions o = parseLibrary(line);
        return acceptableCell(o.cell) && acceptableName(o.out) && !o.charset.isEmpty();
    }
    if (command == &PictureCommand) {
        const PictureOptions o = parsePicture(line);
        const zentraq::rgbqumo::DataSettings& d = o.settings.data;
        return acceptableName(o.out) && !o.picture.isEmpty() && inRange(d.threshold, 0, 255) &&
               (!d.fitting.resize.isValid() || (inRange(d.fitting.resize.width(), 1, 32767) &&
                                                inRange(d.fitting.resize.height(), 1, 32767)));
    }
    if (command == &FontCommand) {
        const FontOptions o = parseFont(line);
        const zentraq::font::RenderSettings& r = o.settings.render;
        const bool gfx = r.rendering == zentraq::font::Rendering::Bytecode;
        const bool facesWhole =
            !o.faces.empty() && std::all_of(o.faces.begin(), o.faces.end(), [](const auto& f) {
                return f.family.isEmpty() != f.file.isEmpty();
            });
        return facesWhole &&
               (gfx ? inRange(r.points, 1, 1024) && r.bits == 1 : inRange(r.pixelSize, 1, 1024)) &&
               (r.bits == 1 || r.bits == 2 || r.bits == 4 || r.bits == 8) &&
               (o.settings.lvglVersion == 8 || o.settings.lvglVersion == 9) &&
               (o.sample.isEmpty() == o.sampleOutput.isEmpty()) &&
               (o.settings.name.isEmpty() || isCIdentifier(QString::fromUtf8(o.settings.name))) &&
               (o.fallback.isEmpty() || isCIdentifier(QString::fromUtf8(o.fallback)));
    }
    const PreviewOptions o = parsePreview(line);
    return !o.output.isEmpty() && inRange(o.columns, 1, 4096) && inRange(o.scale, 1, 64) &&
           (o.pictureWidth > 0 ? inRange(o.pictureWidth, 1, 1 << 20)
                               : o.cell.width() >= 1 && o.cell.height() >= 1 &&
                                     qint64(o.cell.width()) * o.cell.height() <= 65536);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096)
        return 0;
    QStringList args;
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QByteArray& arg : input.split('\0')) {
        const QString text = argumentText(arg.constData());
        if (nativeName(text) != arg)
            __builtin_trap();
        args << text;
    }
    if (args.size() > 64)
        return 0;
    try {
        if (!acceptable(args))
            __builtin_trap();
    } catch (const CliError& e) {
        if (e.kind() != CliError::Usage || e.message().empty())
            __builtin_trap();
    }
    return 0;
}

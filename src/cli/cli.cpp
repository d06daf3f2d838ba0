#include "cli.h"

#include "options.h"
#include "runtime_error.h"
#include "zentraq_project.h"

#include <cstdio>
#include <new>

namespace zentraq::cli {
namespace {

void writeStdout(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace

void note(const QString& line) {
    // One line, whatever the message holds.
    QString oneLine = line;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    const QByteArray bytes = oneLine.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

int run(const QStringList& args) {
    try {
        const Options options = parseArguments(args);
        switch (options.command) {
        case Command::Help:
            writeStdout(helpText(options.helpTopic));
            return 0;
        case Command::Version:
            writeStdout(QStringLiteral("zentraq-cli " ZENTRAQ_VERSION "\n"));
            return 0;
        case Command::Glyph:
            if (options.missing)
                return runGlyphMissing(options);
            runGlyph(options);
            return 0;
        case Command::Picture:
            runPicture(options);
            return 0;
        case Command::Preview:
            runPreview(options);
            return 0;
        case Command::Library:
            if (options.missing)
                return runLibraryMissing(options);
            runLibrary(options);
            return 0;
        }
    } catch (const CliError& e) {
        note(QStringLiteral("zentraq-cli: ") + e.message());
        return e.exitCode();
    } catch (const RuntimeError& e) {
        note(QStringLiteral("zentraq-cli: ") + e.description());
        return 1;
    } catch (const std::bad_alloc&) {
        note(QStringLiteral("zentraq-cli: out of memory"));
        return 1;
    }
    return 1;
}

} // namespace zentraq::cli

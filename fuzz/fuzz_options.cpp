// The command line of zentraq-cli, every command: the input split at NUL
// bytes into arguments, each read as the tool reads its argv (bytes that are
// not UTF-8 kept). Besides the sanitizers, checks that every argument's bytes
// come back whole, that a refused command line is a usage error (exit 2)
// with a message, and that what is accepted is in range: cell and preview
// sizes, counts, a C array name that is an identifier and no keyword.
#include "files.h"
#include "options.h"

#include <QRegularExpression>

#include <cstddef>
#include <cstdint>

namespace {

bool inRange(long long value, long long low, long long high) {
    return value >= low && value <= high;
}

bool acceptable(const zentraq::cli::Options& o) {
    using zentraq::cli::Command;
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!o.name.isEmpty() &&
        (!identifier.match(o.name).hasMatch() || o.name == QLatin1String("int") ||
         o.name == QLatin1String("_Bool") || o.name == QLatin1String("true")))
        return false;
    switch (o.command) {
    case Command::Help:
        return !zentraq::cli::helpText(o.helpTopic).isEmpty();
    case Command::Version:
        return true;
    case Command::Glyph:
    case Command::Library:
        return inRange(o.width, 1, zentraq::cli::MaxCellSide) &&
               inRange(o.height, 1, zentraq::cli::MaxCellSide) && o.pixelSize >= 0;
    case Command::Picture:
        return true;
    case Command::Preview:
        return !o.output.isEmpty() && inRange(o.columns, 1, 4096) && inRange(o.scale, 1, 64) &&
               (o.pictureWidth > 0
                    ? inRange(o.pictureWidth, 1, 1 << 20)
                    : o.width >= 1 && o.height >= 1 && qint64(o.width) * o.height <= 65536);
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentraq::cli;
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
        if (!acceptable(parseArguments(args)))
            __builtin_trap();
    } catch (const CliError& e) {
        if (e.kind() != CliError::Usage || e.message().isEmpty())
            __builtin_trap();
    }
    return 0;
}

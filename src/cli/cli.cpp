#include "cli.h"

#include "commands.h"
#include "error.h"
#include "process.h"
#include "runtime_error.h"
#include "zentraq_project.h"

#include <new>
#include <unistd.h>

namespace zentraq::cli {
namespace {

const CommandDef* const Commands[] = {&GlyphCommand, &PictureCommand, &PreviewCommand,
                                      &LibraryCommand, &FontCommand};

const CommandDef* commandNamed(const QString& name) {
    for (const CommandDef* c : Commands) {
        if (name == QLatin1String(c->name))
            return c;
    }
    return nullptr;
}

QString commandList() {
    QStringList names;
    for (const CommandDef* c : Commands)
        names << QString::fromLatin1(c->name);
    return listed(names);
}

void writeOut(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    writeFully(STDOUT_FILENO, bytes.constData(), bytes.size());
}

// The command the arguments name, carried out.
int dispatch(const QStringList& args) {
    if (args.isEmpty())
        usageError(QStringLiteral("no command given; try 'zentraq-cli --help'"));
    const QString& first = args.front();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") ||
        first == QLatin1String("help")) {
        if (args.size() > 2)
            usageError(QStringLiteral("help takes at most one command name"));
        if (args.size() == 2 && !commandNamed(args[1]))
            usageError(
                QStringLiteral("no command '%1'; the commands are %2").arg(args[1], commandList()));
        writeOut(helpText(args.value(1)));
        return 0;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-V")) {
        if (args.size() > 1)
            usageError(QStringLiteral("--version takes no arguments"));
        writeOut(QStringLiteral("zentraq-cli " ZENTRAQ_VERSION "\n"));
        return 0;
    }
    const CommandDef* command = commandNamed(first);
    if (!command)
        usageError(
            QStringLiteral("unknown %1 '%2'; the commands are %3")
                .arg(first.startsWith(u'-') ? QStringLiteral("option") : QStringLiteral("command"),
                     first, commandList()));
    const QStringList rest = args.mid(1);
    if (asksForHelp(rest)) {
        writeOut(commandHelp(*command));
        return 0;
    }
    return command->run(CommandLine(*command, rest, Commands));
}

} // namespace

QString runtimeProblem(const RuntimeError& e) {
    switch (e.code()) {
    case RuntimeError::Overflow:
        return QStringLiteral("a size or count is too large to work with");
    case RuntimeError::OutOfMemory:
        return QStringLiteral("out of memory");
    default:
        return QStringLiteral("the conversion failed: ") + QString::fromUtf8(e.what());
    }
}

std::span<const CommandDef* const> commands() {
    return Commands;
}

QString helpText(const QString& topic) {
    if (const CommandDef* c = commandNamed(topic))
        return commandHelp(*c);
    QString out = QStringLiteral(
        "zentraq-cli: glyph and picture data for microcontroller displays, without a window.\n\n"
        "Commands:\n");
    for (const CommandDef* c : Commands)
        out += QStringLiteral("  %1 %2\n")
                   .arg(QString::fromLatin1(c->name), -8)
                   .arg(QString::fromUtf8(c->summary));
    out += QStringLiteral("\nRun 'zentraq-cli help COMMAND' for the options of one command.\n"
                          "Exit status: 0 done, 1 failed, 2 wrong command line.\n");
    for (const CommandDef* c : Commands)
        out += u'\n' + commandHelp(*c);
    return out;
}

int run(const QStringList& args) {
    const QuietLibraries quiet;
    try {
        return dispatch(args);
    } catch (const CliError& e) {
        note(QStringLiteral("zentraq-cli: ") + argumentText(e.message()));
        return e.exitCode();
    } catch (const RuntimeError& e) {
        note(QStringLiteral("zentraq-cli: ") + runtimeProblem(e));
        return 1;
    } catch (const std::bad_alloc&) {
        note(QStringLiteral("zentraq-cli: ") + runtimeProblem(RuntimeError::outOfMemory()));
        return 1;
    }
}

} // namespace zentraq::cli

#pragma once

// Reading a command line: each command declares its options in a table, the
// arguments are read against it, and the help text is made from it. Values
// are checked by the tool's own rules, so every refusal is worded here.

#include "csource.h"
#include "optiondef.h"
#include "writer.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace zentraq::cli {

class CommandLine;

// A command: its words for the help text, its options, and what carries it
// out (reads the options from the command line and returns the exit code).
struct CommandDef {
    const char* name;
    const char* summary;
    const char* synopsis;
    const char* description;
    const char* example;
    std::span<const OptionDef> options;
    int (*run)(const CommandLine& line);
};

// The arguments after a command's name, read against its options:
// "--name value", "--name=value", "-o value", "-ovalue", switches, and
// compacted short switches ("-qo OUT"); "--" ends the options. Refuses with a
// usage error an unknown option (naming it as another command's when one of
// `all` has it), a value missing or given to a switch, and an option given
// twice.
class CommandLine {
public:
    CommandLine(const CommandDef& command, const QStringList& args,
                std::span<const CommandDef* const> all = {});

    const CommandDef& command() const { return m_command; }
    QString commandName() const { return QString::fromLatin1(m_command.name); }

    // Whether the option `name` (its long name) was given.
    bool isSet(const char* name) const;
    // Its value; empty when it was not given (a given value is never empty).
    // For a repeatable option: its first value.
    QString value(const char* name) const;
    // Every value of a repeatable option, in the order given.
    QStringList values(const char* name) const;
    const QStringList& positional() const { return m_positional; }
    // Every option given, in the order given: its long name and its value
    // (empty for a switch).
    std::vector<std::pair<QString, QString>> given() const;

private:
    struct Reading;

    const CommandDef& m_command;
    std::vector<std::pair<const OptionDef*, QString>> m_given;
    QStringList m_positional;
};

// Whether the arguments ask for help: -h or --help before any "--".
bool asksForHelp(const QStringList& args);

// A command's --help text, made from its table.
QString commandHelp(const CommandDef& command);

// "--size": how messages name an option, its long name with dashes.
QString optionName(const char* name);

// The value of `option` as a whole number from `low` to `high`; anything
// else is refused.
int parseCount(const char* option, const QString& value, int low, int high);

// A size "WxH" ("W*H" and "WXH" too) with both sides from 1 to `maxSide` and
// at most `maxPixels` pixels; anything else is refused, saying which rule it
// breaks. The one reader of sizes on the command line.
QSize parseSize(const char* option, const QString& value, int maxSide, qint64 maxPixels);

// A C identifier that is no C11 or C23 keyword.
using core::isCIdentifier;
using core::isCKeyword;

// "--OPTION wants WANTS, not 'VALUE'".
[[noreturn]] void refuseValue(const char* option, const QString& wants, const QString& value);

// The value of `option` as `parse` reads it (a function that gives nothing
// for a value it does not know); nothing when the option is not given. An
// unknown value is refused, naming the known ones, `wants`.
template <class Parse>
auto parsedOption(const CommandLine& line, const char* option, Parse parse, const QString& wants) {
    const QString value = line.value(option);
    decltype(parse(QStringView(value))) parsed;
    if (value.isEmpty())
        return parsed;
    parsed = parse(QStringView(value));
    if (!parsed)
        refuseValue(option, wants, value);
    return parsed;
}

// "a, b and c".
using core::listed;

} // namespace zentraq::cli

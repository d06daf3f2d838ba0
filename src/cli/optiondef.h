#pragma once

// A command's options as its table declares them, the options that the
// result files share, and the one reader of a command line against such a
// table: the tool's CommandLine and the quick picture path, which must not
// wait for Qt to load, both read their arguments here. Plain C++.

#include <algorithm>
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

class QString;

namespace zentraq::cli {

// One option of a command, or its positional argument.
struct OptionDef {
    const char* names; // "o,output": short and long names; upper case: a positional argument
    const char* value; // the value's name, or nullptr for a switch
    const char* help;
    QString (*moreHelp)() = nullptr;  // appended to `help` (a list made from a table)
    bool repeatable = false;          // may be given more than once
    QString (*valueHelp)() = nullptr; // shown instead of `value` (the names of a table)
};

namespace option {
// clang-format off
inline constexpr OptionDef Output{"o,output", "OUT", "write OUT (it appears only once complete) instead of standard output"};
inline constexpr OptionDef Quiet{"q,quiet", nullptr, "no byte count on standard error"};
inline constexpr OptionDef Depfile{"depfile", "FILE", "with -o OUT: also write FILE, a Make rule that names OUT and every file read to make it, for build tools (Make, Ninja, CMake's DEPFILE); a name that Make and Ninja would read differently fails the command"};
inline constexpr OptionDef KeepUnchanged{"keep-unchanged", nullptr, "with -o OUT: leave OUT as it is, its time too, when it holds the same bytes already"};
// clang-format on
} // namespace option

constexpr bool isPositional(const OptionDef& d) {
    return d.names[0] >= 'A' && d.names[0] <= 'Z';
}

// Whether the option's first name is a letter, given as "-x".
constexpr bool hasShortName(const OptionDef& d) {
    return d.names[0] != '\0' && (d.names[1] == ',' || d.names[1] == '\0');
}

// Whether `typed` (without dashes) is one of the option's names.
template <class Char> bool hasName(const OptionDef& d, std::basic_string_view<Char> typed) {
    std::string_view names(d.names);
    for (;;) {
        const std::size_t comma = names.find(',');
        const std::string_view name = names.substr(0, comma);
        if (std::equal(name.begin(), name.end(), typed.begin(), typed.end(),
                       [](char n, Char t) { return Char(static_cast<unsigned char>(n)) == t; }))
            return true;
        if (comma == std::string_view::npos)
            return false;
        names.remove_prefix(comma + 1);
    }
}

// Reads the arguments after a command's name against its options:
// "--name value", "--name=value", "-o value", "-ovalue", switches, and
// compacted short switches ("-qo OUT"); "--" ends the options, and "-" or
// anything else not starting with '-' is positional. Each piece goes to
// `handler`, whose members return false to stop the reading:
//   positional(View)                 an argument that is no option
//   option(const OptionDef&, View)   an option and its value (empty for a switch)
//   unknown(View name, bool long)    a name no option has (without dashes)
//   needsValue(const OptionDef&)     a value option at the end of the line
//   takesNoValue(const OptionDef&)   "--switch=value"
//   givenTwice(const OptionDef&)     an option that is not repeatable, again
//   emptyValue(const OptionDef&)     a value option given ""
// Returns whether it read to the end.
template <class Char, class Handler>
bool readArguments(std::span<const OptionDef> options,
                   std::span<const std::basic_string_view<Char>> args, Handler& handler) {
    using View = std::basic_string_view<Char>;
    const Char dash = Char('-');
    const auto find = [options](View name) -> const OptionDef* {
        for (const OptionDef& d : options)
            if (!isPositional(d) && hasName(d, name))
                return &d;
        return nullptr;
    };
    std::vector<const OptionDef*> given;
    const auto take = [&](const OptionDef& d, View value) {
        if (!d.repeatable && std::find(given.begin(), given.end(), &d) != given.end())
            return handler.givenTwice(d);
        if (d.value && value.empty())
            return handler.emptyValue(d);
        given.push_back(&d);
        return handler.option(d, value);
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const View a = args[i];
        if (a.size() == 2 && a[0] == dash && a[1] == dash) {
            for (std::size_t j = i + 1; j < args.size(); ++j)
                if (!handler.positional(args[j]))
                    return false;
            return true;
        }
        if (a.size() < 2 || a[0] != dash) {
            if (!handler.positional(a))
                return false;
            continue;
        }
        // A value option's value: after '=' (long) or the rest of the
        // argument (short), else the next argument, whatever it holds.
        if (a[1] == dash) {
            const std::size_t eq = a.find(Char('='));
            const View name = a.substr(2, eq == View::npos ? View::npos : eq - 2);
            const OptionDef* d = find(name);
            if (!d || name.size() == 1) {
                if (!handler.unknown(name, true))
                    return false;
                continue;
            }
            if (!d->value && eq != View::npos)
                return handler.takesNoValue(*d);
            View value;
            if (d->value && eq != View::npos)
                value = a.substr(eq + 1);
            else if (d->value && i + 1 >= args.size())
                return handler.needsValue(*d);
            else if (d->value)
                value = args[++i];
            if (!take(*d, value))
                return false;
            continue;
        }
        // Short options, compacted: every letter a switch until one that
        // takes a value, which takes the rest.
        for (std::size_t k = 1; k < a.size(); ++k) {
            const View letter = a.substr(k, 1);
            const OptionDef* d = find(letter);
            if (!d || !hasShortName(*d)) {
                if (!handler.unknown(letter, false))
                    return false;
                continue;
            }
            if (!d->value) {
                if (!take(*d, View()))
                    return false;
                continue;
            }
            View value;
            if (k + 1 < a.size())
                value = a.substr(k + 1);
            else if (i + 1 >= args.size())
                return handler.needsValue(*d);
            else
                value = args[++i];
            if (!take(*d, value))
                return false;
            break;
        }
    }
    return true;
}

} // namespace zentraq::cli

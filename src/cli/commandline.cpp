#include "commandline.h"

#include "error.h"

namespace zentraq::cli {
namespace {

QStringList namesOf(const OptionDef& d) {
    return QString::fromLatin1(d.names).split(u',');
}

// "--size", "-o": a name with its dashes.
QString dashed(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// The long form of an option, as messages name it.
QString canonical(const OptionDef& d) {
    return dashed(namesOf(d).back());
}

bool hasOption(const CommandDef& c, QStringView name) {
    for (const OptionDef& d : c.options) {
        if (!isPositional(d) &&
            hasName(d, std::u16string_view(name.utf16(), std::size_t(name.size()))))
            return true;
    }
    return false;
}

// `text` in lines of at most `width` characters, the first after `first`,
// the others indented by `indent` spaces.
QString wrapped(const QString& first, const QString& text, int indent, int width = 79) {
    QString out = first;
    qsizetype column = first.size();
    if (column > indent - 1)
        out += u'\n' + QString(indent, u' ');
    else
        out += QString(indent - column, u' ');
    column = indent;
    bool lineStart = true;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (!lineStart && column + 1 + word.size() > width) {
            out += u'\n' + QString(indent, u' ');
            column = indent;
            lineStart = true;
        }
        if (!lineStart) {
            out += u' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineStart = false;
    }
    return out + u'\n';
}

// The decimal digits of `text` as a number, or -1 when it is empty, holds
// anything else or has more than 9 digits.
long long digitsValue(QStringView text) {
    if (text.isEmpty() || text.size() > 9)
        return -1;
    long long v = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        v = v * 10 + (c.unicode() - u'0');
    }
    return v;
}

} // namespace

// What reading the arguments meets, for readArguments: options and
// positional arguments kept, every refusal worded as a usage error.
struct CommandLine::Reading {
    using View = std::u16string_view;
    CommandLine& line;
    std::span<const CommandDef* const> all;

    static QString text(View v) {
        return QString(reinterpret_cast<const QChar*>(v.data()), qsizetype(v.size()));
    }
    bool positional(View a) {
        line.m_positional << text(a);
        return true;
    }
    bool option(const OptionDef& d, View value) {
        line.m_given.emplace_back(&d, text(value));
        return true;
    }
    bool unknown(View name, bool longForm) {
        const QString typed = (longForm ? QStringLiteral("--") : QStringLiteral("-")) + text(name);
        const QString cmd = line.commandName();
        for (const CommandDef* other : all) {
            if (hasOption(*other, text(name)))
                usageError(
                    QStringLiteral("option '%1' is not an option of %2; see 'zentraq-cli help %2'")
                        .arg(typed, cmd));
        }
        usageError(
            QStringLiteral("unknown option '%1'; see 'zentraq-cli help %2'").arg(typed, cmd));
    }
    bool needsValue(const OptionDef& d) {
        usageError(QStringLiteral("option '%1' needs a value").arg(canonical(d)));
    }
    bool takesNoValue(const OptionDef& d) {
        usageError(QStringLiteral("option '%1' takes no value").arg(canonical(d)));
    }
    bool givenTwice(const OptionDef& d) {
        usageError(QStringLiteral("option '%1' is given more than once").arg(canonical(d)));
    }
    bool emptyValue(const OptionDef& d) {
        usageError(QStringLiteral("option '%1' needs a non-empty value").arg(canonical(d)));
    }
};

CommandLine::CommandLine(const CommandDef& command, const QStringList& args,
                         std::span<const CommandDef* const> all)
    : m_command(command) {
    std::vector<std::u16string_view> views;
    views.reserve(std::size_t(args.size()));
    for (const QString& a : args)
        views.emplace_back(reinterpret_cast<const char16_t*>(a.constData()), std::size_t(a.size()));
    Reading reading{*this, all};
    readArguments<char16_t>(command.options, std::span<const std::u16string_view>(views), reading);
}

bool CommandLine::isSet(const char* name) const {
    for (const auto& [given, v] : m_given) {
        if (namesOf(*given).back() == QLatin1String(name))
            return true;
    }
    return false;
}

QString CommandLine::value(const char* name) const {
    for (const auto& [given, v] : m_given) {
        if (namesOf(*given).back() == QLatin1String(name))
            return v;
    }
    return {};
}

QStringList CommandLine::values(const char* name) const {
    QStringList out;
    for (const auto& [given, v] : m_given) {
        if (namesOf(*given).back() == QLatin1String(name))
            out << v;
    }
    return out;
}

std::vector<std::pair<QString, QString>> CommandLine::given() const {
    std::vector<std::pair<QString, QString>> out;
    out.reserve(m_given.size());
    for (const auto& [given, v] : m_given)
        out.emplace_back(namesOf(*given).back(), v);
    return out;
}

bool asksForHelp(const QStringList& args) {
    for (const QString& a : args) {
        if (a == QLatin1String("--"))
            return false;
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            return true;
    }
    return false;
}

QString commandHelp(const CommandDef& c) {
    QString out = QString::fromUtf8(c.synopsis) + QStringLiteral("\n\n");
    out += wrapped(QString(), QString::fromUtf8(c.description), 2) + u'\n';
    for (const OptionDef& d : c.options) {
        QString label = QStringLiteral("  ");
        if (isPositional(d)) {
            label += QString::fromLatin1(d.names);
        } else {
            QStringList shown;
            for (const QString& n : namesOf(d))
                shown << dashed(n);
            label += shown.join(QStringLiteral(", "));
            if (d.value)
                label += u' ' + (d.valueHelp ? d.valueHelp() : QString::fromLatin1(d.value));
        }
        QString text = QString::fromUtf8(d.help);
        if (d.moreHelp)
            text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + d.moreHelp();
        out += wrapped(label, text, 21);
    }
    return out + QStringLiteral("  -h, --help         this text\n\n  Example:\n    ") +
           QString::fromUtf8(c.example) + u'\n';
}

QString optionName(const char* name) {
    return QStringLiteral("--") + QLatin1String(name);
}

void refuseValue(const char* option, const QString& wants, const QString& value) {
    usageError(QStringLiteral("%1 wants %2, not '%3'").arg(optionName(option), wants, value));
}

int parseCount(const char* option, const QString& value, int low, int high) {
    const long long n = digitsValue(value);
    if (n < low || n > high)
        refuseValue(option,
                    QStringLiteral("a whole number from %1 to %2")
                        .arg(QString::number(low), QString::number(high)),
                    value);
    return int(n);
}

QSize parseSize(const char* option, const QString& value, int maxSide, qint64 maxPixels) {
    qsizetype cut = -1;
    for (const QChar c : {u'x', u'X', u'*'}) {
        if (const qsizetype at = value.indexOf(c); at >= 0)
            cut = at;
    }
    const long long w = cut < 0 ? -1 : digitsValue(QStringView(value).left(cut));
    const long long h = cut < 0 ? -1 : digitsValue(QStringView(value).mid(cut + 1));
    if (w < 0 || h < 0)
        refuseValue(option, QStringLiteral("a size WIDTHxHEIGHT such as 16x16"), value);
    if (w < 1 || h < 1 || w > maxSide || h > maxSide)
        refuseValue(option, QStringLiteral("each side from 1 to %1 pixels").arg(maxSide), value);
    if (w * h > maxPixels)
        refuseValue(option, QStringLiteral("at most %1 pixels").arg(maxPixels), value);
    return QSize(int(w), int(h));
}

} // namespace zentraq::cli

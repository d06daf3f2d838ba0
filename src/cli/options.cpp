#include "options.h"

#include "qumo.h"

#include <QRegularExpression>

#include <array>
#include <set>

namespace zentraq::cli {
namespace {

enum : unsigned { ForGlyph = 1, ForPicture = 2, ForPreview = 4, ForAll = 7 };

struct KnownOption {
    const char* name;  // long form, with the dashes
    const char* alias; // short form or nullptr
    bool takesValue;
    unsigned commands;
};

constexpr std::array<KnownOption, 19> KnownOptions{{
    {"--size", nullptr, true, ForGlyph | ForPreview},
    {"--font", nullptr, true, ForGlyph},
    {"--font-file", nullptr, true, ForGlyph},
    {"--input", nullptr, true, ForGlyph},
    {"--ascii", nullptr, false, ForGlyph},
    {"--format", nullptr, true, ForGlyph | ForPicture},
    {"--name", nullptr, true, ForGlyph | ForPicture},
    {"--binary", nullptr, false, ForAll},
    {"--msb-first", nullptr, false, ForGlyph | ForPreview},
    {"--invert", nullptr, false, ForGlyph | ForPreview},
    {"--missing", nullptr, false, ForGlyph},
    {"--byte-order", nullptr, true, ForPicture | ForPreview},
    {"--width", nullptr, true, ForPreview},
    {"--columns", nullptr, true, ForPreview},
    {"--scale", nullptr, true, ForPreview},
    {"--output", "-o", true, ForAll},
    {"--quiet", "-q", false, ForGlyph | ForPicture},
    {"--help", "-h", false, ForAll},
    {"--version", "-V", false, 0},
}};

const KnownOption* findOption(const QString& arg) {
    for (const KnownOption& s : KnownOptions) {
        if (arg == QLatin1String(s.name) || (s.alias && arg == QLatin1String(s.alias)))
            return &s;
    }
    return nullptr;
}

QString commandName(Command c) {
    switch (c) {
    case Command::Glyph:
        return QStringLiteral("glyph");
    case Command::Picture:
        return QStringLiteral("picture");
    case Command::Preview:
        return QStringLiteral("preview");
    default:
        return {};
    }
}

unsigned commandBit(Command c) {
    switch (c) {
    case Command::Glyph:
        return ForGlyph;
    case Command::Picture:
        return ForPicture;
    case Command::Preview:
        return ForPreview;
    default:
        return 0;
    }
}

int parseCount(const QString& option, const QString& value, int low, int high) {
    bool ok = false;
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    const int n = digits.match(value).hasMatch() ? value.toInt(&ok) : 0;
    if (!ok || n < low || n > high)
        usageError(QStringLiteral("%1 wants a whole number from %2 to %3, not '%4'")
                       .arg(option)
                       .arg(low)
                       .arg(high)
                       .arg(value));
    return n;
}

// Any cell size W x H for reading glyph data back: the glyph limit of 32767
// pixels applies.
void parseAnySize(const QString& value, int& width, int& height) {
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,5})[xX*]([0-9]{1,5})$"));
    const QRegularExpressionMatch m = form.match(value);
    const int w = m.hasMatch() ? m.captured(1).toInt() : 0;
    const int h = m.hasMatch() ? m.captured(2).toInt() : 0;
    if (w <= 0 || h <= 0 || w * h > 32767)
        usageError(QStringLiteral("--size wants WIDTHxHEIGHT with at most 32767 pixels, not '%1'")
                       .arg(value));
    width = w;
    height = h;
}

bool isCIdentifier(const QString& name) {
    static const QRegularExpression ident(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return ident.match(name).hasMatch();
}

} // namespace

bool parsePresetSize(const QString& text, int& width, int& height, bool& square) {
    for (const glyph::SizePreset& p : glyph::SizePresets) {
        const QString x = QStringLiteral("%1x%2").arg(p.width).arg(p.height);
        const QString star = QStringLiteral("%1*%2").arg(p.width).arg(p.height);
        if (text == x || text == star) {
            width = p.width;
            height = p.height;
            square = p.square;
            return true;
        }
    }
    return false;
}

QString presetSizeList() {
    QStringList sizes;
    for (const glyph::SizePreset& p : glyph::SizePresets)
        sizes << QStringLiteral("%1x%2").arg(p.width).arg(p.height);
    return sizes.join(u'|');
}

Options parseArguments(const QStringList& args) {
    Options o;
    if (args.isEmpty())
        usageError(QStringLiteral("no command given; try 'zentraq-cli --help'"));

    const QString first = args.front();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") || first == QLatin1String("help")) {
        o.command = Command::Help;
        if (args.size() > 2)
            usageError(QStringLiteral("help takes at most one command name"));
        if (args.size() == 2) {
            o.helpTopic = args[1];
            if (o.helpTopic != QLatin1String("glyph") && o.helpTopic != QLatin1String("picture") &&
                o.helpTopic != QLatin1String("preview"))
                usageError(QStringLiteral("no command '%1'; the commands are glyph, picture and preview")
                               .arg(o.helpTopic));
        }
        return o;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-V")) {
        if (args.size() > 1)
            usageError(QStringLiteral("--version takes no arguments"));
        o.command = Command::Version;
        return o;
    }
    if (first == QLatin1String("glyph"))
        o.command = Command::Glyph;
    else if (first == QLatin1String("picture"))
        o.command = Command::Picture;
    else if (first == QLatin1String("preview"))
        o.command = Command::Preview;
    else if (first.startsWith(u'-'))
        usageError(QStringLiteral("unknown option '%1' before the command; the commands are glyph, picture and preview")
                       .arg(first));
    else
        usageError(QStringLiteral("unknown command '%1'; the commands are glyph, picture and preview").arg(first));

    const QString cmd = commandName(o.command);
    const unsigned bit = commandBit(o.command);
    std::set<QString> seen;
    QStringList positional;
    QString sizeText, formatText, byteOrderText;
    bool optionsEnded = false;

    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || !arg.startsWith(u'-') || arg == QLatin1String("-")) {
            positional << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }

        QString name = arg;
        QString value;
        bool inlineValue = false;
        if (arg.startsWith(QLatin1String("--"))) {
            const qsizetype eq = arg.indexOf(u'=');
            if (eq > 0) {
                name = arg.left(eq);
                value = arg.mid(eq + 1);
                inlineValue = true;
            }
        }
        const KnownOption* known = findOption(name);
        if (!known)
            usageError(QStringLiteral("unknown option '%1'; see 'zentraq-cli help %2'").arg(name, cmd));
        if (!(known->commands & bit))
            usageError(QStringLiteral("option '%1' is not an option of %2; see 'zentraq-cli help %2'")
                           .arg(name, cmd));
        const QString canonical = QLatin1String(known->name);
        if (canonical == QLatin1String("--help")) {
            o.command = Command::Help;
            o.helpTopic = cmd;
            return o;
        }
        if (!seen.insert(canonical).second)
            usageError(QStringLiteral("option '%1' is given more than once").arg(canonical));
        if (known->takesValue) {
            if (!inlineValue) {
                if (i + 1 >= args.size())
                    usageError(QStringLiteral("option '%1' needs a value").arg(canonical));
                value = args[++i];
            }
        } else if (inlineValue) {
            usageError(QStringLiteral("option '%1' takes no value").arg(canonical));
        }

        if (canonical == QLatin1String("--size"))
            sizeText = value;
        else if (canonical == QLatin1String("--font"))
            o.fontFamily = value;
        else if (canonical == QLatin1String("--font-file"))
            o.fontFile = value;
        else if (canonical == QLatin1String("--input"))
            o.inputFile = value;
        else if (canonical == QLatin1String("--ascii"))
            o.source = TextSource::Ascii;
        else if (canonical == QLatin1String("--format"))
            formatText = value;
        else if (canonical == QLatin1String("--name"))
            o.name = value;
        else if (canonical == QLatin1String("--binary"))
            o.form = DataForm::Binary;
        else if (canonical == QLatin1String("--msb-first"))
            o.msbFirst = true;
        else if (canonical == QLatin1String("--invert"))
            o.invert = true;
        else if (canonical == QLatin1String("--missing"))
            o.missing = true;
        else if (canonical == QLatin1String("--byte-order"))
            byteOrderText = value;
        else if (canonical == QLatin1String("--width"))
            o.pictureWidth = parseCount(canonical, value, 1, 1 << 20);
        else if (canonical == QLatin1String("--columns"))
            o.columns = parseCount(canonical, value, 1, 4096);
        else if (canonical == QLatin1String("--scale"))
            o.scale = parseCount(canonical, value, 1, 64);
        else if (canonical == QLatin1String("--output"))
            o.output = value;
        else if (canonical == QLatin1String("--quiet"))
            o.quiet = true;
        if (known->takesValue && value.isEmpty())
            usageError(QStringLiteral("option '%1' needs a non-empty value").arg(canonical));
    }

    // The output form.
    if (!formatText.isEmpty()) {
        if (formatText == QLatin1String("c")) {
            if (o.form == DataForm::Binary)
                usageError(QStringLiteral("--binary and --format c exclude each other"));
            o.form = DataForm::C;
        } else if (formatText != QLatin1String("hex")) {
            usageError(QStringLiteral("--format wants 'hex' or 'c', not '%1'").arg(formatText));
        } else if (o.form == DataForm::Binary) {
            usageError(QStringLiteral("--binary and --format hex exclude each other"));
        }
    }
    if (!o.name.isEmpty()) {
        if (o.form != DataForm::C)
            usageError(QStringLiteral("--name names the array of --format c"));
        if (!isCIdentifier(o.name))
            usageError(QStringLiteral("--name wants a C identifier (letters, digits, '_'), not '%1'").arg(o.name));
    }
    if (!byteOrderText.isEmpty()) {
        if (byteOrderText == QLatin1String("high-first"))
            o.highByteFirst = true;
        else if (byteOrderText != QLatin1String("low-first"))
            usageError(QStringLiteral("--byte-order wants 'low-first' or 'high-first', not '%1'").arg(byteOrderText));
    }

    switch (o.command) {
    case Command::Glyph: {
        if (sizeText.isEmpty())
            usageError(QStringLiteral("glyph needs --size %1").arg(presetSizeList()));
        if (!parsePresetSize(sizeText, o.width, o.height, o.square))
            usageError(QStringLiteral("size '%1' is not one of %2").arg(sizeText, presetSizeList()));
        if (!o.fontFamily.isEmpty() && !o.fontFile.isEmpty())
            usageError(QStringLiteral("--font and --font-file exclude each other"));
        if (positional.size() > 1)
            usageError(QStringLiteral("glyph takes one TEXT argument, got %1 (quote the text, or use -- before a text that starts with '-')")
                           .arg(positional.size()));
        int sources = positional.size() + (o.inputFile.isEmpty() ? 0 : 1) + (o.source == TextSource::Ascii ? 1 : 0);
        if (sources == 0)
            usageError(QStringLiteral("glyph needs a TEXT, --input FILE or --ascii"));
        if (sources > 1)
            usageError(QStringLiteral("give only one of TEXT, --input FILE and --ascii"));
        if (!positional.isEmpty()) {
            o.source = TextSource::Argument;
            o.text = positional.front();
        } else if (!o.inputFile.isEmpty()) {
            o.source = TextSource::File;
        }
        if (o.missing && (!o.output.isEmpty() || o.form != DataForm::Hex || o.msbFirst || o.invert))
            usageError(QStringLiteral("--missing only lists characters; it takes no output options"));
        if (o.form == DataForm::C && o.name.isEmpty())
            o.name = QStringLiteral("glyph_data");
        break;
    }
    case Command::Picture:
        if (positional.size() != 1)
            usageError(positional.isEmpty() ? QStringLiteral("picture needs the picture file IN")
                                            : QStringLiteral("picture takes one picture file, got %1").arg(positional.size()));
        o.picture = positional.front();
        if (o.form == DataForm::C && o.name.isEmpty())
            o.name = QStringLiteral("picture_data");
        break;
    case Command::Preview:
        if (positional.size() != 1)
            usageError(positional.isEmpty() ? QStringLiteral("preview needs the data file DATA ('-' for standard input)")
                                            : QStringLiteral("preview takes one data file, got %1").arg(positional.size()));
        o.data = positional.front();
        o.dataBinary = o.form == DataForm::Binary;
        o.form = DataForm::Hex;
        if (sizeText.isEmpty() == (o.pictureWidth == 0))
            usageError(QStringLiteral("preview needs either --size WxH (glyph data) or --width W (picture data)"));
        if (!sizeText.isEmpty()) {
            parseAnySize(sizeText, o.width, o.height);
            if (!byteOrderText.isEmpty())
                usageError(QStringLiteral("--byte-order is for picture data (--width)"));
        } else {
            if (o.msbFirst || o.invert)
                usageError(QStringLiteral("--msb-first and --invert are for glyph data (--size)"));
            if (seen.count(QStringLiteral("--columns")))
                usageError(QStringLiteral("--columns is for glyph data (--size)"));
        }
        if (o.output.isEmpty())
            usageError(QStringLiteral("preview needs -o OUT.png"));
        break;
    default:
        break;
    }
    return o;
}

} // namespace zentraq::cli

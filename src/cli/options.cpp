#include "options.h"

#include "qumo.h"
#include "textrenderer.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace zentraq::cli {
namespace {

enum : unsigned { Glyph = 1, Picture = 2, Preview = 4, Library = 8, All = 15 };

// One option (or positional argument) of the commands in `commands`. The
// parsers and the help texts are both made from this table; an option whose
// meaning differs between commands has one entry per meaning.
struct OptionDef {
    unsigned commands;
    const char* names; // "o,output"; an upper-case name is a positional argument
    const char* value; // the value's name, or nullptr for a switch
    const char* help;
};

// clang-format off
constexpr OptionDef OptionTable[] = {
    {Glyph | Library, "size", "WxH",
     "the cell, any size from 1x1 to 256x256; the window's sizes are 12x12, 16x16, 32x32 (汉字 cells) "
     "and 6x12, 8x16, 16x32 (字母 cells); 8*16 is the same as 8x16"},
    {Preview, "size", "WxH", "glyph data of W x H pixels per character (at most 65536 pixels): the characters "
     "side by side, ink black on white"},
    {Glyph | Library, "pixel-size", "N", "the face's size in pixels, 1 to 2048 (default: the cell height, as in the window)"},
    {Glyph | Library, "font", "FAMILY", "draw with this installed font family instead of the window's face; "
     "characters it lacks come from the window's faces"},
    {Glyph | Library, "font-file", "PATH", "the same with the first face of a font file"},
    {Glyph, "TEXT", nullptr, "the text itself (after -- when it starts with '-')"},
    {Glyph, "input", "FILE", "the text from a UTF-8 file, '-' for standard input; its line breaks are kept"},
    {Glyph, "ascii", nullptr, "the 95 printable ASCII characters, space to '~'"},
    {Library, "charset", "SET", "gb2312: 87 x 94 slots, GB2312 rows 1-87 and cells 1-94; gbk: 126 x 190 slots, "
     "leads 0x81-0xFE and trails 0x40-0x7E, 0x80-0xFE; ascii: 95 slots, 0x20-0x7E; or a FILE: the "
     "distinct characters of a UTF-8 text in code-point order (control characters left out)"},
    {Picture, "IN", nullptr, "the picture file"},
    {Picture, "pixel", "FORMAT", "rgb565 (default, the window's), bgr565 (blue in the high 5 bits), rgb888 "
     "(bytes R, G, B), bgr888 (bytes B, G, R), rgb666 (bytes R, G, B, each channel's 6 bits at the top), "
     "rgb332 (one byte RRRGGGBB), gray8, gray4, gray2 (luma (299 R + 587 G + 114 B) / 1000 in 256, 16 or 4 "
     "levels, 0 black), mono (one bit, 1 = ink: luma below --threshold)"},
    {Picture, "dither", "none|floyd-steinberg|bayer4", "none (default), Floyd-Steinberg error diffusion or "
     "the 4x4 ordered matrix; for the formats with fewer than 8 bits per channel (not rgb888, bgr888, gray8)"},
    {Picture, "threshold", "N", "mono: a pixel is ink when its luma is below N, 0 to 255 (default 128)"},
    {Picture, "invert", nullptr, "grey formats: 0 is white, not black; mono: ink is the light pixels"},
    {Picture, "rotate", "90|180|270", "first turn the picture clockwise"},
    {Picture, "flip", "horizontal|vertical", "then mirror it left to right or top to bottom (one of the two; "
     "both at once is --rotate 180)"},
    {Picture, "resize", "WxH", "then scale it smoothly to W x H pixels, each side 1 to 32767"},
    {Picture, "fit", "contain|cover|stretch", "with --resize: contain (default) shows the whole picture "
     "centred on white, cover fills W x H and cuts off the edges, stretch ignores the shape"},
    {Picture, "scan", "row|column|page|band", "gray4, gray2, mono: row (default): rows from the top, pixels "
     "running on across rows; column: columns from the left, each from the top; page: vertical bytes in "
     "bands of 8/bits rows (8 for mono: SSD1306 and the like), one byte per column; band: horizontal bytes "
     "in bands of 8/bits columns, one byte per row"},
    {Preview, "DATA", nullptr, "the data: a file in any text form of the tool ('-' for standard input)"},
    {Preview, "width", "W", "picture data of a picture W pixels wide, as many rows as the data holds"},
    {Preview, "pixel", "FORMAT", "the picture data's format, as picture --pixel (default rgb565)"},
    {Glyph | Library | Preview, "scan", "row|column|page|band",
     "row (default, the window's): horizontal bytes, rows from the top, bits running on across rows; "
     "column: vertical bytes, columns from the left, each from the top; page: vertical bytes in bands of "
     "8 rows, one byte per column (SSD1306 and the like); band: horizontal bytes in bands of 8 columns, "
     "one byte per row"},
    {Glyph | Picture | Library | Preview, "pad", nullptr, "row and column scans: every row (column) starts on a new byte"},
    {Glyph | Picture | Library | Preview, "msb-first", nullptr, "the first pixel of each byte (the band's top row or left "
     "column) in the most significant bit (default: least significant)"},
    {Glyph | Library, "invert", nullptr, "ink 0 and background 1 (default: ink 1); bits past the cell stay 0"},
    {Preview, "invert", nullptr, "glyph data: ink 0 and background 1; grey and mono picture data: made with "
     "picture --invert"},
    {Glyph | Library, "missing", nullptr, "convert nothing: list the characters that no face has, with their code "
     "points; exit status 1 if there are any"},
    {Picture | Preview, "byte-order", "low-first|high-first",
     "rgb565, bgr565: which byte of each 16-bit word comes first (default low-first, the window's)"},
    {Preview, "columns", "N", "characters per row of the picture (default 16)"},
    {Preview, "scale", "N", "every data pixel as N x N pixels (default 1, at most 64)"},
    {Glyph | Picture, "format", "hex|c", "hex: the data text (default); c: a C array 'const unsigned char "
     "NAME[]' with a header comment that records the settings"},
    {Library, "format", "hex|c", "the data text or a C array (with a header comment that records the charset, "
     "layout and offset formula) instead of the binary file"},
    {Glyph | Picture | Library, "name", "NAME", "the C array's name, a C identifier (default glyph_data, "
     "picture_data, font_data)"},
    {Glyph | Picture, "binary", nullptr, "the bytes themselves instead of text"},
    {Library, "binary", nullptr, "the bytes themselves (the default)"},
    {Preview, "binary", nullptr, "DATA holds the bytes themselves"},
    {Glyph | Picture | Library, "o,output", "OUT", "write OUT (it appears only once complete) instead of "
     "standard output"},
    {Preview, "o,output", "OUT.png", "the PNG file to write ('-' for standard output)"},
    {Glyph | Picture | Library, "q,quiet", nullptr, "no byte count on standard error"},
};
// clang-format on

struct CommandDef {
    Command command;
    const char* name;
    unsigned bit;
    const char* summary;
    const char* synopsis;
    const char* description;
    const char* example;
};

// clang-format off
const CommandDef Commands[] = {
    {Command::Glyph, "glyph", Glyph, "text -> monochrome glyph bytes, one line per character",
     "zentraq-cli glyph --size WxH [--font FAMILY | --font-file PATH] (TEXT | --input FILE | --ascii) [options]",
     "Draws every character of the text alone in a cell and writes its pixels, one bit per pixel, as a "
     "line of \"0xHH,\" items ending in CR LF. With a window size and no layout option this is exactly "
     "the text the window puts into its data area for the same text and size (CR LF pairs in the text "
     "are removed; a lone CR or LF is converted like any other character). Wide characters in narrow "
     "cells keep their left part. The byte count goes to standard error in the window's words, "
     "\"数据大小:N\".",
     "zentraq-cli glyph --size 8x16 --scan page --ascii --format c --name font8x16 -o font8x16.h"},
    {Command::Picture, "picture", Picture, "picture file -> a display's pixel data (RGB565 by default)",
     "zentraq-cli picture IN [--pixel FORMAT] [--rotate ...] [--flip ...] [--resize WxH] [options]",
     "Converts the picture file IN (BMP, GIF, JPEG, PNG, ICO, ... whatever the window loads) into "
     "pixel data for a display: rows from the top, each row from the left; by default RGB565, one "
     "\"0xLL,0xHH,\" item per pixel, low byte first, CR LF after every 8th item, exactly the bytes the "
     "window writes into temp.txt. Transparent parts are white, as in the window's preview. The "
     "picture is turned, then mirrored, then resized, in that order. The data text ends a line after "
     "every 16 bytes (24 for the 3-byte formats). The byte count goes to standard error in the "
     "window's words, \"数据大小:N字节\".",
     "zentraq-cli picture logo.png --resize 128x64 --pixel mono --dither floyd-steinberg --scan page "
     "--format c --name logo -o logo.h"},
    {Command::Preview, "preview", Preview, "data text -> PNG, to see what the bytes draw",
     "zentraq-cli preview DATA (--size WxH | --width W) -o OUT.png [options]",
     "Reads data back into a picture, to see what the bytes draw before they go into a device. DATA is "
     "any text form the tool writes (hex or C; comments are skipped) or, with --binary, the bytes "
     "themselves. The layout options (and for picture data --pixel and --byte-order) say how the "
     "data was made.",
     "zentraq-cli preview font8x16.h --size 8x16 --scan page --scale 4 -o font8x16.png"},
    {Command::Library, "library", Library, "a character set -> one font library file for external flash",
     "zentraq-cli library --charset gb2312|gbk|ascii|FILE --size WxH -o OUT [options]",
     "Draws every slot of a character set in a cell, as glyph does, into one file: slot after slot, "
     "each glyph B bytes, so the glyph of a code lies at a fixed offset. Codes a charset leaves "
     "unassigned are all zero. gb2312: ((row - 1) * 94 + (cell - 1)) * B for the code (0xA0 + row, "
     "0xA0 + cell); gbk: ((lead - 0x81) * 190 + trail - 0x40 - (trail > 0x7F)) * B; ascii: (c - 0x20) "
     "* B; a FILE: the index of the character in code-point order * B, and the C form adds the sorted "
     "uint32_t code-point table NAME_codes for a binary search.",
     "zentraq-cli library --charset gb2312 --size 16x16 -o hzk16.bin"},
};
// clang-format on

const CommandDef* commandNamed(const QString& name) {
    for (const CommandDef& c : Commands) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

bool isPositional(const OptionDef& d) {
    return QChar::fromLatin1(d.names[0]).isUpper();
}

QStringList namesOf(const OptionDef& d) {
    return QString::fromLatin1(d.names).split(u',');
}

// "--size", "-o": the name with its dashes.
QString dashed(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// The long form of an option, as messages name it.
QString canonical(const OptionDef& d) {
    return dashed(namesOf(d).back());
}

QString commandList() {
    QStringList names;
    for (const CommandDef& c : Commands)
        names << QString::fromLatin1(c.name);
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

// `text` in lines of at most `width` characters, the first after `first`,
// the others indented by `indent` spaces.
QString wrapped(const QString& first, const QString& text, int indent, int width = 79) {
    QString out = first;
    qsizetype column = first.size();
    if (column > indent - 1) {
        out += u'\n' + QString(indent, u' ');
        column = indent;
    } else {
        out += QString(indent - column, u' ');
        column = indent;
    }
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

QString commandHelp(const CommandDef& c) {
    QString out = QString::fromUtf8(c.synopsis) + QStringLiteral("\n\n");
    out += wrapped(QString(), QString::fromUtf8(c.description), 2) + u'\n';
    for (const OptionDef& d : OptionTable) {
        if (!(d.commands & c.bit))
            continue;
        QString label = QStringLiteral("  ");
        if (isPositional(d)) {
            label += QString::fromLatin1(d.names);
        } else {
            QStringList shown;
            for (const QString& n : namesOf(d))
                shown << dashed(n);
            label += shown.join(QStringLiteral(", "));
            if (d.value)
                label += u' ' + QString::fromLatin1(d.value);
        }
        out += wrapped(label, QString::fromUtf8(d.help), 21);
    }
    out += QStringLiteral("  -h, --help         this text\n\n  Example:\n    ") +
           QString::fromUtf8(c.example) + u'\n';
    return out;
}

int parseCount(const QString& option, const QString& value, int low, int high) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    const int n = digits.match(value).hasMatch() ? value.toInt() : -1;
    if (n < low || n > high)
        usageError(QStringLiteral("%1 wants a whole number from %2 to %3, not '%4'")
                       .arg(option)
                       .arg(low)
                       .arg(high)
                       .arg(value));
    return n;
}

// "WxH" (or "W*H") with both sides from 1 to `maxSide` and at most
// `maxPixels` pixels; false for anything else.
bool parseSize(const QString& value, int maxSide, int maxPixels, int& width, int& height) {
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,6})[xX*]([0-9]{1,6})$"));
    const QRegularExpressionMatch m = form.match(value);
    if (!m.hasMatch())
        return false;
    const int w = m.captured(1).toInt();
    const int h = m.captured(2).toInt();
    if (w < 1 || h < 1 || w > maxSide || h > maxSide || qint64(w) * h > maxPixels)
        return false;
    width = w;
    height = h;
    return true;
}

bool isCIdentifier(const QString& name) {
    static const QRegularExpression ident(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return ident.match(name).hasMatch();
}

// The keywords of C11 and C23, and asm, which compilers reserve as well: no
// array can have these names.
bool isCKeyword(const QString& name) {
    static const QStringList keywords =
        QStringLiteral(
            "alignas alignof asm auto bool break case char const constexpr continue default do "
            "double else enum extern false float for goto if inline int long nullptr register "
            "restrict return short signed sizeof static static_assert struct switch thread_local "
            "true typedef typeof typeof_unqual union unsigned void volatile while _Alignas "
            "_Alignof _Atomic _BitInt _Bool _Complex _Decimal128 _Decimal32 _Decimal64 _Generic "
            "_Imaginary _Noreturn _Static_assert _Thread_local")
            .split(u' ');
    return keywords.contains(name);
}

core::Scan parseScan(const QString& value) {
    if (value == QLatin1String("row"))
        return core::Scan::Row;
    if (value == QLatin1String("column"))
        return core::Scan::Column;
    if (value == QLatin1String("page"))
        return core::Scan::Page;
    if (value == QLatin1String("band"))
        return core::Scan::Band;
    usageError(QStringLiteral("--scan wants row, column, page or band, not '%1'").arg(value));
}

// The parser of one command: its options as the table defines them.
class CommandParser {
public:
    explicit CommandParser(const CommandDef& command) : m_command(command) {
        m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
        for (const OptionDef& d : OptionTable) {
            if (!(d.commands & command.bit) || isPositional(d))
                continue;
            m_defs.push_back(&d);
            m_parser.addOption(
                QCommandLineOption(namesOf(d), QString::fromUtf8(d.help),
                                   d.value ? QString::fromLatin1(d.value) : QString()));
        }
    }

    void parse(const QStringList& args) {
        const QString cmd = QString::fromLatin1(m_command.name);
        if (m_parser.parse(QStringList{QStringLiteral("zentraq-cli")} + args))
            return checkRepeats();
        if (!m_parser.unknownOptionNames().isEmpty()) {
            const QString name = dashed(m_parser.unknownOptionNames().front());
            if (optionOfAnotherCommand(name))
                usageError(
                    QStringLiteral("option '%1' is not an option of %2; see 'zentraq-cli help %2'")
                        .arg(name, cmd));
            usageError(
                QStringLiteral("unknown option '%1'; see 'zentraq-cli help %2'").arg(name, cmd));
        }
        static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
        static const QRegularExpression unexpected(
            QStringLiteral("^Unexpected value after '(.*)'\\.$"));
        const QString error = m_parser.errorText();
        if (const QRegularExpressionMatch m = missing.match(error); m.hasMatch())
            usageError(QStringLiteral("option '%1' needs a value").arg(longForm(m.captured(1))));
        if (const QRegularExpressionMatch m = unexpected.match(error); m.hasMatch())
            usageError(QStringLiteral("option '%1' takes no value").arg(longForm(m.captured(1))));
        usageError(error);
    }

    bool isSet(const char* name) const { return m_parser.isSet(QString::fromLatin1(name)); }
    // The value of an option; empty when it was not given.
    QString value(const char* name) const {
        const QString n = QString::fromLatin1(name);
        if (!m_parser.isSet(n))
            return {};
        const QString v = m_parser.value(n);
        if (v.isEmpty())
            usageError(QStringLiteral("option '--%1' needs a non-empty value").arg(n));
        return v;
    }
    QStringList positional() const { return m_parser.positionalArguments(); }

private:
    // An option given twice is refused rather than one of its values ignored.
    void checkRepeats() {
        const QStringList given = m_parser.optionNames();
        for (const OptionDef* d : m_defs) {
            qsizetype count = 0;
            for (const QString& n : namesOf(*d))
                count += given.count(n);
            if (count > 1)
                usageError(
                    QStringLiteral("option '%1' is given more than once").arg(canonical(*d)));
        }
    }

    QString longForm(const QString& typed) const {
        for (const OptionDef* d : m_defs) {
            for (const QString& n : namesOf(*d)) {
                if (typed == dashed(n))
                    return canonical(*d);
            }
        }
        return typed;
    }

    static bool optionOfAnotherCommand(const QString& name) {
        for (const OptionDef& d : OptionTable) {
            for (const QString& n : namesOf(d)) {
                if (!isPositional(d) && dashed(n) == name)
                    return true;
            }
        }
        return false;
    }

    const CommandDef& m_command;
    QCommandLineParser m_parser;
    std::vector<const OptionDef*> m_defs;
};

// Whether the arguments ask for help: -h or --help before any "--".
bool asksForHelp(const QStringList& args) {
    for (const QString& a : args) {
        if (a == QLatin1String("--"))
            return false;
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            return true;
    }
    return false;
}

// --scan, --pad, --msb-first, --invert: the layout of samples of `bits`
// bits (glyph samples have one).
void parseLayout(const CommandParser& p, Options& o, int bits = 1) {
    o.layout = core::Layout{};
    o.layout.bits = bits;
    if (const QString scan = p.value("scan"); !scan.isEmpty())
        o.layout.scan = parseScan(scan);
    o.layout.pad = p.isSet("pad");
    o.layout.msbFirst = p.isSet("msb-first");
    o.invert = p.isSet("invert");
    if (const QString problem = core::layoutProblem(o.layout); !problem.isEmpty())
        usageError(problem);
}

// --size, --pixel-size for drawing cells.
void parseCell(const CommandParser& p, Options& o, const QString& cmd) {
    const QString size = p.value("size");
    if (size.isEmpty())
        usageError(
            QStringLiteral("%1 needs --size WxH, from 1x1 to %2x%2").arg(cmd).arg(MaxCellSide));
    if (!parseSize(size, MaxCellSide, MaxCellSide * MaxCellSide, o.width, o.height))
        usageError(QStringLiteral("--size wants a cell WIDTHxHEIGHT from 1x1 to %1x%1, not '%2'")
                       .arg(MaxCellSide)
                       .arg(size));
    for (const glyph::SizePreset& s : glyph::SizePresets) {
        if (s.width == o.width && s.height == o.height) {
            o.preset = true;
            o.square = s.square;
        }
    }
    if (const QString px = p.value("pixel-size"); !px.isEmpty())
        o.pixelSize = parseCount(QStringLiteral("--pixel-size"), px, 1, text::MaxPixelSize);
    o.fontFamily = p.value("font");
    o.fontFile = p.value("font-file");
    if (!o.fontFamily.isEmpty() && !o.fontFile.isEmpty())
        usageError(QStringLiteral("--font and --font-file exclude each other"));
    o.missing = p.isSet("missing");
}

// --format, --binary, --name, -o, -q: the output form, `binaryDefault` for
// the library.
void parseOutput(const CommandParser& p, Options& o, bool binaryDefault, const char* defaultName) {
    o.output = p.value("output");
    o.quiet = p.isSet("quiet");
    const bool binary = p.isSet("binary");
    const QString format = p.value("format");
    o.form = binaryDefault || binary ? core::DataForm::Binary : core::DataForm::Text;
    if (!format.isEmpty()) {
        if (format != QLatin1String("hex") && format != QLatin1String("c"))
            usageError(QStringLiteral("--format wants 'hex' or 'c', not '%1'").arg(format));
        if (binary)
            usageError(QStringLiteral("--binary and --format %1 exclude each other").arg(format));
        o.form = format == QLatin1String("c") ? core::DataForm::C : core::DataForm::Text;
    }
    o.name = p.value("name");
    if (!o.name.isEmpty()) {
        if (o.form != core::DataForm::C)
            usageError(QStringLiteral("--name names the array of --format c"));
        if (!isCIdentifier(o.name))
            usageError(
                QStringLiteral("--name wants a C identifier (letters, digits, '_'), not '%1'")
                    .arg(o.name));
        if (isCKeyword(o.name))
            usageError(
                QStringLiteral("--name wants a C identifier, not the C keyword '%1'").arg(o.name));
    }
    if (o.form == core::DataForm::C && o.name.isEmpty())
        o.name = QString::fromLatin1(defaultName);
}

void refuseOutputWithMissing(const CommandParser& p, const Options& o) {
    if (!o.missing)
        return;
    for (const char* name :
         {"output", "format", "binary", "name", "scan", "pad", "msb-first", "invert"}) {
        if (p.isSet(name))
            usageError(
                QStringLiteral("--missing only lists characters; it takes no output options"));
    }
}

QString byteOrder(const CommandParser& p, bool& highFirst) {
    const QString order = p.value("byte-order");
    if (!order.isEmpty() && order != QLatin1String("low-first") &&
        order != QLatin1String("high-first"))
        usageError(
            QStringLiteral("--byte-order wants 'low-first' or 'high-first', not '%1'").arg(order));
    highFirst = order == QLatin1String("high-first");
    return order;
}

// The value of the option `name` as `parse` reads it; nothing when the option
// is not given. A value that `parse` does not know is refused, naming the
// values that are known, `wants`.
template <class Parse>
auto parsedOption(const CommandParser& p, const char* name, Parse parse, const QString& wants) {
    const QString value = p.value(name);
    decltype(parse(QStringView(value))) parsed;
    if (value.isEmpty())
        return parsed;
    parsed = parse(QStringView(value));
    if (!parsed)
        usageError(
            QStringLiteral("--%1 wants %2, not '%3'").arg(QLatin1String(name), wants, value));
    return parsed;
}

// --pixel, --byte-order, --invert and the layout options: how picture data is
// laid out, for picture and for preview --width.
void parsePictureData(const CommandParser& p, Options& o, bool preview) {
    if (const auto format = parsedOption(p, "pixel", rgbqumo::parsePixelFormat,
                                         rgbqumo::pixelFormatNames().join(QStringLiteral(", "))))
        o.pixel = *format;
    const QString format = rgbqumo::pixelFormatName(o.pixel);
    if (!byteOrder(p, o.highByteFirst).isEmpty() && !rgbqumo::hasByteOrder(o.pixel))
        usageError(
            QStringLiteral("--byte-order is for the 16-bit formats rgb565 and bgr565, not %1")
                .arg(format));
    const int bits = rgbqumo::bitsPerSample(o.pixel);
    for (const char* packedOnly : {"scan", "pad", "msb-first"}) {
        if (bits >= 8 && p.isSet(packedOnly))
            usageError(QStringLiteral("--%1 is for the packed formats gray4, gray2 and mono; %2 "
                                      "takes whole bytes per pixel")
                           .arg(QLatin1String(packedOnly), format));
    }
    parseLayout(p, o, bits);
    if (o.invert && !rgbqumo::isGreyFormat(o.pixel))
        usageError((preview ? QStringLiteral("--invert is for glyph data (--size) and the grey "
                                             "formats gray8, gray4, gray2 and mono, not %1")
                            : QStringLiteral("--invert is for the grey formats gray8, gray4, gray2 "
                                             "and mono, not %1"))
                       .arg(format));
}

// The picture command's own options: the data's format, dithering and the
// fitting to the display.
void parsePictureOptions(const CommandParser& p, Options& o) {
    parsePictureData(p, o, false);
    const QString format = rgbqumo::pixelFormatName(o.pixel);
    if (const auto mode = parsedOption(p, "dither", rgbqumo::parseDitherMode,
                                       QStringLiteral("none, floyd-steinberg or bayer4"))) {
        o.dither = *mode;
        if (o.dither != rgbqumo::DitherMode::None && !rgbqumo::acceptsDither(o.pixel))
            usageError(QStringLiteral("--dither is for the formats with fewer than 8 bits per "
                                      "channel; %1 has 8, nothing to dither")
                           .arg(format));
    }
    if (const QString threshold = p.value("threshold"); !threshold.isEmpty()) {
        o.threshold = parseCount(QStringLiteral("--threshold"), threshold, rgbqumo::MinThreshold,
                                 rgbqumo::MaxThreshold);
        if (o.pixel != rgbqumo::PixelFormat::Mono)
            usageError(QStringLiteral("--threshold is for --pixel mono, not %1").arg(format));
    }

    rgbqumo::Fitting& f = o.fitting;
    if (const auto r = parsedOption(p, "rotate", rgbqumo::parseRotation,
                                    QStringLiteral("90, 180 or 270 (degrees clockwise)")))
        f.rotation = *r;
    if (const auto m =
            parsedOption(p, "flip", rgbqumo::parseFlip, QStringLiteral("horizontal or vertical"))) {
        f.flipHorizontal = *m == rgbqumo::Flip::Horizontal;
        f.flipVertical = *m == rgbqumo::Flip::Vertical;
    }
    if (const QString resize = p.value("resize"); !resize.isEmpty()) {
        QString problem;
        const std::optional<QSize> size = rgbqumo::parseResize(resize, &problem);
        if (!size)
            usageError(QStringLiteral("--resize: ") + problem);
        f.resize = *size;
    }
    if (const auto mode = parsedOption(p, "fit", rgbqumo::parseFit,
                                       QStringLiteral("contain, cover or stretch"))) {
        if (!f.resize.isValid())
            usageError(QStringLiteral("--fit says how --resize fits the picture; give --resize "
                                      "WxH too"));
        f.fit = *mode;
    }
}

} // namespace

QString helpText(const QString& topic) {
    if (const CommandDef* c = commandNamed(topic))
        return commandHelp(*c);
    QString out = QStringLiteral(
        "zentraq-cli: glyph and picture data for microcontroller displays, without a window.\n\n"
        "Commands:\n");
    for (const CommandDef& c : Commands)
        out += QStringLiteral("  %1 %2\n")
                   .arg(QString::fromLatin1(c.name), -8)
                   .arg(QString::fromUtf8(c.summary));
    out += QStringLiteral("\nRun 'zentraq-cli help COMMAND' for the options of one command.\n"
                          "Exit status: 0 done, 1 failed, 2 wrong command line.\n");
    for (const CommandDef& c : Commands)
        out += u'\n' + commandHelp(c);
    return out;
}

Options parseArguments(const QStringList& args) {
    Options o;
    if (args.isEmpty())
        usageError(QStringLiteral("no command given; try 'zentraq-cli --help'"));

    const QString first = args.front();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") ||
        first == QLatin1String("help")) {
        if (args.size() > 2)
            usageError(QStringLiteral("help takes at most one command name"));
        if (args.size() == 2) {
            o.helpTopic = args[1];
            if (!commandNamed(o.helpTopic))
                usageError(QStringLiteral("no command '%1'; the commands are %2")
                               .arg(o.helpTopic, commandList()));
        }
        return o;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-V")) {
        if (args.size() > 1)
            usageError(QStringLiteral("--version takes no arguments"));
        o.command = Command::Version;
        return o;
    }
    const CommandDef* command = commandNamed(first);
    if (!command) {
        if (first.startsWith(u'-'))
            usageError(QStringLiteral("unknown option '%1' before the command; the commands are %2")
                           .arg(first, commandList()));
        usageError(
            QStringLiteral("unknown command '%1'; the commands are %2").arg(first, commandList()));
    }
    const QString cmd = QString::fromLatin1(command->name);
    const QStringList rest = args.mid(1);
    if (asksForHelp(rest)) {
        o.helpTopic = cmd;
        return o;
    }
    o.command = command->command;
    CommandParser p(*command);
    p.parse(rest);
    const QStringList positional = p.positional();

    switch (o.command) {
    case Command::Glyph: {
        parseCell(p, o, cmd);
        parseLayout(p, o);
        parseOutput(p, o, false, "glyph_data");
        o.inputFile = p.value("input");
        if (positional.size() > 1)
            usageError(QStringLiteral("glyph takes one TEXT argument, got %1 (quote the text, or "
                                      "use -- before a text that starts with '-')")
                           .arg(positional.size()));
        const int sources =
            int(positional.size()) + (o.inputFile.isEmpty() ? 0 : 1) + (p.isSet("ascii") ? 1 : 0);
        if (sources == 0)
            usageError(QStringLiteral("glyph needs a TEXT, --input FILE or --ascii"));
        if (sources > 1)
            usageError(QStringLiteral("give only one of TEXT, --input FILE and --ascii"));
        if (!positional.isEmpty()) {
            o.source = TextSource::Argument;
            o.text = positional.front();
            // Bytes that are not UTF-8 are no characters to draw.
            if (!QStringView(o.text).isValidUtf16())
                usageError(QStringLiteral("the TEXT is not UTF-8; give the text in UTF-8 or "
                                          "--input FILE"));
        } else {
            o.source = o.inputFile.isEmpty() ? TextSource::Ascii : TextSource::File;
        }
        refuseOutputWithMissing(p, o);
        break;
    }
    case Command::Library:
        parseCell(p, o, cmd);
        parseLayout(p, o);
        parseOutput(p, o, true, "font_data");
        o.charset = p.value("charset");
        if (o.charset.isEmpty())
            usageError(
                QStringLiteral("library needs --charset gb2312, gbk, ascii or a charset FILE"));
        if (!positional.isEmpty())
            usageError(QStringLiteral("library takes no arguments besides its options, got '%1'")
                           .arg(positional.front()));
        refuseOutputWithMissing(p, o);
        break;
    case Command::Picture:
        parseOutput(p, o, false, "picture_data");
        parsePictureOptions(p, o);
        if (positional.size() != 1)
            usageError(positional.isEmpty()
                           ? QStringLiteral("picture needs the picture file IN")
                           : QStringLiteral("picture takes one picture file, got %1")
                                 .arg(positional.size()));
        o.picture = positional.front();
        break;
    case Command::Preview: {
        o.output = p.value("output");
        o.dataBinary = p.isSet("binary");
        if (positional.size() != 1)
            usageError(
                positional.isEmpty()
                    ? QStringLiteral("preview needs the data file DATA ('-' for standard input)")
                    : QStringLiteral("preview takes one data file, got %1").arg(positional.size()));
        o.data = positional.front();
        const QString size = p.value("size");
        const QString width = p.value("width");
        if (size.isEmpty() == width.isEmpty())
            usageError(QStringLiteral(
                "preview needs either --size WxH (glyph data) or --width W (picture data)"));
        if (!size.isEmpty()) {
            const QString order = byteOrder(p, o.highByteFirst);
            parseLayout(p, o);
            if (!parseSize(size, 65536, 65536, o.width, o.height))
                usageError(
                    QStringLiteral("--size wants WIDTHxHEIGHT with at most 65536 pixels, not '%1'")
                        .arg(size));
            if (!order.isEmpty())
                usageError(QStringLiteral("--byte-order is for picture data (--width)"));
            if (p.isSet("pixel"))
                usageError(QStringLiteral("--pixel is for picture data (--width)"));
        } else {
            o.pictureWidth = parseCount(QStringLiteral("--width"), width, 1, 1 << 20);
            parsePictureData(p, o, true);
            if (p.isSet("columns"))
                usageError(QStringLiteral("--columns is for glyph data (--size)"));
        }
        if (const QString columns = p.value("columns"); !columns.isEmpty())
            o.columns = parseCount(QStringLiteral("--columns"), columns, 1, 4096);
        if (const QString scale = p.value("scale"); !scale.isEmpty())
            o.scale = parseCount(QStringLiteral("--scale"), scale, 1, 64);
        if (o.output.isEmpty())
            usageError(QStringLiteral("preview needs -o OUT.png"));
        break;
    }
    default:
        break;
    }
    return o;
}

} // namespace zentraq::cli

#pragma once

// The options that several commands share: one definition each, so that
// their help texts agree, and one reader each.

#include "charset.h"
#include "commandline.h"
#include "formatter.h"
#include "glyphcells.h"
#include "output.h"
#include "packer.h"
#include "picturedata.h"
#include "writer.h"

#include <QString>

namespace zentraq::cli {

namespace option {
// clang-format off
inline constexpr OptionDef Format{"format", "hex|c", "hex: the data text (default); c: a C array 'const unsigned char NAME[]' with a header comment that records the settings"};
inline constexpr OptionDef Name{"name", "NAME", "the C array's name, a C identifier that is no C keyword (default glyph_data, picture_data, font_data)"};
inline constexpr OptionDef Binary{"binary", nullptr, "the bytes themselves instead of text"};

inline constexpr OptionDef CellSize{"size", "WxH", "the cell, any size from 1x1 to 256x256; the window's sizes are 12x12, 16x16, 32x32 (汉字 cells) and 6x12, 8x16, 16x32 (字母 cells); 8*16 is the same as 8x16"};
inline constexpr OptionDef PixelSize{"pixel-size", "N", "the face's size in pixels, 1 to 2048 (default: the cell height, as in the window); a face larger than the cell is drawn from its top-left corner and cut at its bottom and right edges"};
inline constexpr OptionDef Font{"font", "FAMILY", "draw with this installed font family instead of the window's face; characters it lacks come from the window's faces"};
inline constexpr OptionDef FontFile{"font-file", "PATH", "the same with the first face of a font file"};
inline constexpr OptionDef Missing{"missing", nullptr, "convert nothing: list the characters that no face has, with their code points; exit status 1 if there are any"};
inline constexpr OptionDef CellInvert{"invert", nullptr, "ink 0 and background 1 (default: ink 1); bits past the cell stay 0"};

inline constexpr OptionDef Scan{"scan", "row|column|page|band", "row (default, the window's): horizontal bytes, rows from the top, bits running on across rows; column: vertical bytes, columns from the left, each from the top; page: vertical bytes in bands of 8 rows, one byte per column (SSD1306 and the like); band: horizontal bytes in bands of 8 columns, one byte per row"};
inline constexpr OptionDef Pad{"pad", nullptr, "row and column scans: every row (column) starts on a new byte"};
inline constexpr OptionDef MsbFirst{"msb-first", nullptr, "the first pixel of each byte (the band's top row or left column) in the most significant bit (default: least significant)"};

inline constexpr OptionDef CharsFrom{"chars-from", "FILE", "the characters the firmware's sources show, each once, in code order: of C and C++ files (.c .h; .cc .cpp .cxx .hpp .hh .ino) the string and character literals (prefixes u8 u U L, raw strings, escapes decoded; comments, code and #include names not), of .json, .yml and .yaml files every string value (keys not), of any other file its text; may be repeated", nullptr, true};
inline constexpr OptionDef CharsFromKind{"chars-from-kind", "c|c++|json|yaml|text", "read every --chars-from file as this kind, whatever its name"};
inline constexpr OptionDef SourceEncoding{"source-encoding", "utf-8|gbk|gb18030", "the encoding of the --chars-from files (default utf-8); bytes that are not of it stop the run, naming FILE:LINE"};
inline constexpr OptionDef ListChars{"list-chars", nullptr, "convert nothing: print the characters on one line, in code order"};

inline constexpr OptionDef ByteOrder{"byte-order", "low-first|high-first", "rgb565, bgr565: which byte of each 16-bit word comes first (default low-first, the window's)"};
// clang-format on
} // namespace option

// The command line as a writer asks about it; every refusal in the tool's
// words, as a usage error.
class LineOptions : public core::Options {
public:
    explicit LineOptions(const CommandLine& line) : m_line(line) {}
    bool isSet(const char* name) const override { return m_line.isSet(name); }
    QString value(const char* name) const override { return m_line.value(name); }
    int count(const char* name, int low, int high) const override {
        return parseCount(name, m_line.value(name), low, high);
    }
    [[noreturn]] void refuseValue(const char* name, const QString& wanted) const override {
        cli::refuseValue(name, wanted, m_line.value(name));
    }
    [[noreturn]] void refuse(const QString& message) const override;

private:
    const CommandLine& m_line;
};

// The help and the values of a --format that picks a writer of the table
// `writers()` gives, for its OptionDef.
template <auto writers> QString formatHelp() {
    return core::formatHelp(writers());
}
template <auto writers> QString formatValues() {
    return core::formatValues(writers());
}

// The writer of `table` that --format names, the first without one; an
// unknown name is refused, naming the others.
template <class W> const W* formatOption(const CommandLine& line, std::span<const W* const> table) {
    const auto named = [table](QStringView name) -> std::optional<const W*> {
        if (const W* w = core::writerNamed(table, name))
            return w;
        return std::nullopt;
    };
    const auto all = core::writerNames(table, [](const W&) { return true; });
    const std::optional<const W*> w =
        parsedOption(line, "format", named, listed(all, QStringLiteral(" or ")));
    return w ? *w : table.front();
}

// --format, --binary, --name, -o, -q, --depfile, --keep-unchanged.
struct OutputOptions {
    QString output; // empty: standard output
    core::DataForm form = core::DataForm::Text;
    // A --format of `shapes` (picture's "lvgl", "c16", ...); empty for hex
    // and c. Its form is C, or binary for a shape ending in "-bin".
    QString shape;
    QString name; // the C array's name
    bool quiet = false;
    ResultFiles files;
};
OutputOptions parseOutput(const CommandLine& line, core::DataForm defaultForm,
                          const char* defaultName, const QStringList& shapes = {});

// --depfile and --keep-unchanged for the result file `output` (-o), which
// both need.
ResultFiles parseResultFiles(const CommandLine& line, const QString& output);

// Whether two names of files the tool writes lead to the same place by their
// spelling ("out.c", "./out.c"). Standard output ("-") and an empty name
// match nothing.
bool sameFileName(const QString& a, const QString& b);

// --scan, --pad, --msb-first for samples of `bits` bits.
core::Layout parseLayout(const CommandLine& line, int bits);

// Glyph cells: --size, --pixel-size, --font, --font-file and the layout
// options with --invert.
struct CellOptions {
    glyph::CellShape shape;
    QString fontFamily;
    QString fontFile;
};
CellOptions parseCell(const CommandLine& line);

// --missing, which refuses the options that shape an output.
bool parseMissing(const CommandLine& line);

// --chars-from and how its files are read, and --list-chars (which, as
// --missing, refuses the options that shape an output).
struct SourceOptions {
    QStringList files;
    font::SourceKind kind = font::SourceKind::Guess;
    font::SourceEncoding encoding = font::SourceEncoding::Utf8;
    bool listChars = false;
};
SourceOptions parseSources(const CommandLine& line);

// The characters of the --chars-from files, each once, in code order (each
// file recorded as read). Throws CliError (Failure) for a file that cannot
// be read, with its name and line.
QString sourceCharacters(const SourceOptions& sources);

// --list-chars: the distinct characters of `chars` on one line of standard
// output, in code order.
int listCharacters(std::vector<char32_t> chars);

// The --pixel option's help: every format with what its sample holds.
QString pixelFormatHelp();

// --pixel, --byte-order, --invert and the layout options: how picture data is
// laid out, for picture and for preview --width.
void parsePictureData(const CommandLine& line, rgbqumo::DataSettings& settings);

// --dither and --threshold of picture data; `pixels`: for the formats of
// --pixel (an LVGL image dithers whatever its format).
void parseDither(const CommandLine& line, rgbqumo::DataSettings& settings, bool pixels);

// --rotate, --flip, --resize, --fit and --background.
void parseFitting(const CommandLine& line, rgbqumo::DataSettings& settings);

// Text for a C declaration (--attribute): printable ASCII that cannot end
// the declaration, open a comment or a block, or start a directive.
bool isAttribute(const QString& text);

} // namespace zentraq::cli

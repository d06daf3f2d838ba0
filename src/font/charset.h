#pragma once

// The characters a font is made of: the union of code ranges, single code
// points and the characters of texts, each character once, in code order.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <utility>
#include <vector>

namespace zentraq::font {

inline constexpr char32_t LastCodePoint = 0x10FFFF;

struct CodeRange {
    char32_t first = 0;
    char32_t last = 0;
};

// A range of a face's codes and the code its first one takes in the font:
// "0xF001-0xF003=>0xE000" puts U+F001 to U+F003 at U+E000 to U+E002. `to`
// is `range.first` when the codes stay where they are.
struct CodeChoice {
    CodeRange range;
    char32_t to = 0;
    bool moved() const { return to != range.first; }
};

// A range as --range writes it in a face group: "0x20-0x7E", "32-126", a
// single code "0x4E00" or "65", or several of these separated by commas
// (hexadecimal after "0x", decimal otherwise), each piece optionally moved
// ("A-B=>C", "A=>C"). Empty with `problem` set when the text is not such a
// list, a range runs backwards, or a code or a moved one lies beyond
// U+10FFFF or lands on the surrogates.
std::optional<std::vector<CodeChoice>> parseCodeChoices(QStringView text, QString* problem);

class CharacterSet {
public:
    // Surrogate codes (U+D800 to U+DFFF) are not characters and never join.
    void addRange(CodeRange range);
    void add(char32_t cp) { addRange({cp, cp}); }
    // Every character of `text` except control characters (line breaks,
    // tabs), which no font draws.
    void addText(QStringView text);
    void addCodes(const std::vector<char32_t>& codes);

    bool empty() const;
    // Sorted, each character once.
    std::vector<char32_t> characters() const;

private:
    std::vector<std::pair<char32_t, char32_t>> m_ranges;
};

// What a font's characters are, as the command line names them: code ranges
// (as parseCodeChoices reads them), the characters of texts, character sets:
// ascii, gb2312 and gbk (their assigned characters) or the distinct
// characters of a UTF-8 file, and the characters of --chars-from files.
// How --chars-from reads a file (sourcechars.h): its kind, by default
// guessed from its name, and the encoding of its text.
enum class SourceKind { Guess, C, Cpp, Json, Yaml, Text };
enum class SourceEncoding { Utf8, Gbk, Gb18030 };

struct CharacterRequest {
    QStringList ranges, symbols, charsets;
    QStringList sources; // --chars-from files (placeCharacters)
    SourceKind sourceKind = SourceKind::Guess;
    SourceEncoding sourceEncoding = SourceEncoding::Utf8;
};

// The files a font is made from, as the front end reads them (and records
// them as read) and names them in messages.
class SourceFiles {
public:
    virtual ~SourceFiles() = default;
    virtual bool exists(const QString& name) const = 0;
    virtual QByteArray read(const QString& name) const = 0;
    virtual QString shown(const QString& name) const = 0;
};

// The characters of one --charset value: a set's name or a file. Throws
// FontError: Request for a charset that is neither a name nor a file;
// Failure for a file that is not UTF-8 or codes the system cannot decode.
std::vector<char32_t> charsetCharacters(const QString& charset, const SourceFiles& files);

} // namespace zentraq::font

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

// A range as the command line writes it: "0x20-0x7E", "32-126", a single
// code "0x4E00" or "65", or several of these separated by commas. Codes are
// hexadecimal after "0x", decimal otherwise. Empty with `problem` set when
// the text is not such a list, a range runs backwards or a code lies beyond
// U+10FFFF.
std::optional<std::vector<CodeRange>> parseCodeRanges(QStringView text, QString* problem);

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
// (as parseCodeRanges reads them), the characters of texts, and character
// sets: ascii, gb2312 and gbk (their assigned characters) or the distinct
// characters of a UTF-8 file.
struct CharacterRequest {
    QStringList ranges, symbols, charsets;
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

// The union of the request's characters, sorted, each once. Throws
// FontError: Request for a range that cannot be read, a charset that is
// neither a name nor a file, or no characters at all; Failure for a file
// that is not UTF-8 or codes the system cannot decode.
std::vector<char32_t> requestedCharacters(const CharacterRequest& request,
                                          const SourceFiles& files);

} // namespace zentraq::font

#pragma once

// The text every data file and C array is written in: numbers as items
// ("0x1F,", "0x001F,", "-3,"), so many to a line, lines ended and indented
// as the file wants, inside a declaration that names the element type, the
// qualifiers and an attribute. One hex table for all of them, and text
// gathered in large blocks on its way to a sink.

#include "bytefields.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace zentraq::core {

// Where formatted bytes go. write() throws (RuntimeError, or the tool's own
// failure) when they cannot be written.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const char* data, long long size) = 0;
};

// The characters of a byte array of the caller's (std::string, QByteArray).
template <class Bytes> std::string_view textView(const Bytes& bytes) {
    return std::string_view(bytes.data(), std::size_t(bytes.size()));
}

// Items a line of data text and of a C array, unless the file says
// otherwise: 16 bytes, the window's 8 RGB565 pixels.
inline constexpr int ItemsPerLine = 16;

// Bytes a line of picture data: 16, or 24 for samples of 3 bytes so that no
// pixel is split across two lines.
constexpr int pictureBytesPerLine(int sampleBits) {
    return sampleBits == 24 ? 24 : ItemsPerLine;
}

// The byte count as the window's picture conversion and the tool report it:
// "数据大小:N字节".
std::string dataSizeMessage(long long bytes);

// One byte as "0x" and two upper-case hexadecimal digits, NUL-terminated;
// eight characters may be read from the pointer.
const char* hexText(std::uint8_t value);

// Text into a sink in blocks of about `blockSize` bytes. What is still in the
// block goes to the sink at flush() and when the block goes away, unless an
// exception is on its way (then the result is abandoned anyway), so that
// nothing written is lost when a writer forgets to flush.
class TextBlock {
public:
    // Characters past a reserved room that a store of 8 may overwrite.
    static constexpr std::ptrdiff_t Slack = 8;

    explicit TextBlock(ByteSink& sink, std::ptrdiff_t blockSize = 1 << 20);
    ~TextBlock() noexcept(false);
    TextBlock(const TextBlock&) = delete;
    TextBlock& operator=(const TextBlock&) = delete;

    void append(std::string_view text);
    // Room for `n` characters and Slack more, at the end of the text; the
    // caller fills some of it and says how many with advance(). Not cleared:
    // its pages are only touched as text is put in, so a small result does
    // not pay for a large block.
    char* reserve(std::ptrdiff_t n);
    void advance(std::ptrdiff_t n) { m_used += n; }
    // Hands everything to the sink.
    void flush();

private:
    ByteSink& m_sink;
    std::unique_ptr<char[]> m_block;
    std::ptrdiff_t m_size = 0; // of m_block, slack included
    std::ptrdiff_t m_used = 0;
    int m_exceptions = std::uncaught_exceptions();
};

// How a C array declares itself: "QUALIFIERS ATTRIBUTE TYPE NAME[COUNT] AFTER
// = {", e.g. "static const PROGMEM uint16_t logo[512] = {".
struct ArrayDeclaration {
    std::string_view qualifiers =
        "const";                // "static const", "static LV_ATTRIBUTE_LARGE_CONST const"
    std::string_view attribute; // PROGMEM, ...; empty for none
    std::string_view type = "unsigned char";
    std::string_view name;
    long long count = -1;        // -1: "[]", the compiler counts
    std::string_view after = {}; // between "]" and " = {" (fontconvert's PROGMEM)
};
// The declaration and the line end after its "{".
std::string declarationText(const ArrayDeclaration& declaration, std::string_view lineEnd);

enum class ItemForm {
    Hex8,   // 0x1F
    Hex16,  // 0x001F
    Hex32,  // 0x0000001F
    Decimal // -3, 31
};

// How the items of an array are laid out.
struct ArrayStyle {
    std::string_view lineEnd = "\r\n";
    std::string_view indent = {}; // before a line's first item
    std::string_view gap = {};    // between two items of a line, after the comma
    int perLine = ItemsPerLine;   // items a line; 0: lines end where the caller ends them
    ItemForm form = ItemForm::Hex8;
    // Whether the last item has its comma too (fontconvert's arrays: none,
    // the line breaks after the comma of each line's last item but the
    // array's).
    bool commaAfterLast = true;
};

// The items of an array, streamed into a text block.
class ArrayWriter {
public:
    ArrayWriter(TextBlock& out, const ArrayStyle& style) : m_out(out), m_style(style) {}

    void item(long long value);
    template <class T> void items(const T* values, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            item(static_cast<long long>(values[i]));
    }
    // Bytes as Hex8 items; the data text's layout (no indent, no gap, a comma
    // after each) goes through the block eight characters at a time.
    void bytes(const std::uint8_t* data, std::ptrdiff_t count);
    // Whole-byte samples of `sampleBytes` (1, 2 or 3) bytes, each as its
    // bytes in `order`: exactly what bytes() makes of those bytes, but in the
    // data text's layout two items at a time from a table of the item texts
    // of all 65536 words.
    void samples(const std::uint32_t* values, std::ptrdiff_t count, int sampleBytes,
                 ByteOrder order);

    // Ends the line under way, if any.
    void endLine();
    // Ends a line, also one without items.
    void newLine();
    // Ends the line under way, then "};" and the line end.
    void close();

    long long onLine() const { return m_onLine; }

private:
    void itemText(std::string_view text);

    TextBlock& m_out;
    ArrayStyle m_style;
    long long m_onLine = 0; // items on the line under way
    long long m_count = 0;  // items in all
};

} // namespace zentraq::core

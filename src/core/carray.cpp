#include "carray.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace zentraq::core {
namespace {

constexpr char Digits[] = "0123456789ABCDEF";

// "0xHH" for every byte, padded to 8 characters so a text is one store.
struct HexTable {
    std::array<std::array<char, 8>, 256> text{};
    constexpr HexTable() {
        for (int v = 0; v < 256; ++v)
            text[v] = {'0', 'x', Digits[v >> 4], Digits[v & 15], 0, 0, 0, 0};
    }
};
constexpr HexTable hex;

// The two items of every 16-bit word, "0xLL,0xHH," or "0xHH,0xLL,"; not
// cleared before it is filled.
using WordItems = std::unique_ptr<std::array<char, 10>[]>;

WordItems makeWordItems(ByteOrder order) {
    WordItems items = std::make_unique_for_overwrite<std::array<char, 10>[]>(65536);
    for (int w = 0; w < 65536; ++w) {
        const int first = order == ByteOrder::LowFirst ? w & 0xFF : w >> 8;
        const int second = order == ByteOrder::LowFirst ? w >> 8 : w & 0xFF;
        std::memcpy(items[std::size_t(w)].data(), hex.text[std::size_t(first)].data(), 4);
        items[std::size_t(w)][4] = ',';
        std::memcpy(items[std::size_t(w)].data() + 5, hex.text[std::size_t(second)].data(), 4);
        items[std::size_t(w)][9] = ',';
    }
    return items;
}

// Each table is made the first time it is needed, and only then.
const WordItems& wordItems(ByteOrder order) {
    if (order == ByteOrder::LowFirst) {
        static const WordItems low = makeWordItems(ByteOrder::LowFirst);
        return low;
    }
    static const WordItems high = makeWordItems(ByteOrder::HighFirst);
    return high;
}

// One item, "0xHH,", from an 8-character store.
inline char* byteItem(char* out, std::uint32_t value) {
    std::memcpy(out, hex.text[value & 0xFF].data(), 8);
    out[4] = ',';
    return out + 5;
}

inline char* pairItems(char* out, const WordItems& items, std::uint32_t word) {
    std::memcpy(out, items[word & 0xFFFF].data(), 10);
    return out + 10;
}

// `n` samples of `Bytes` bytes as items; the first byte of a 3-byte sample
// is its high byte with HighFirst. With `perLine` > 0, `lineEnd` follows
// every `perLine`th sample, `left` counting down the samples still on the
// line.
template <int Bytes>
char* sampleItems(char* out, const std::uint32_t* s, std::ptrdiff_t n, const WordItems& items,
                  bool highFirst, int perLine, std::string_view lineEnd, int& left) {
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        if constexpr (Bytes == 1) {
            out = byteItem(out, s[i]);
        } else if constexpr (Bytes == 2) {
            out = pairItems(out, items, s[i]);
        } else if (highFirst) {
            out = byteItem(pairItems(out, items, s[i] >> 8), s[i]);
        } else {
            out = pairItems(byteItem(out, s[i]), items, s[i] >> 8);
        }
        if (perLine > 0 && --left == 0) {
            std::memcpy(out, lineEnd.data(), lineEnd.size());
            out += lineEnd.size();
            left = perLine;
        }
    }
    return out;
}

} // namespace

std::string dataSizeMessage(long long bytes) {
    return "数据大小:" + std::to_string(bytes) + "字节";
}

const char* hexText(std::uint8_t value) {
    return hex.text[value].data();
}

TextBlock::TextBlock(ByteSink& sink, std::ptrdiff_t blockSize)
    : m_sink(sink), m_block(std::make_unique_for_overwrite<char[]>(
                        std::size_t(std::max<std::ptrdiff_t>(blockSize, 64) + Slack))),
      m_size(std::max<std::ptrdiff_t>(blockSize, 64) + Slack) {}

TextBlock::~TextBlock() noexcept(false) {
    if (std::uncaught_exceptions() == m_exceptions)
        flush();
}

char* TextBlock::reserve(std::ptrdiff_t n) {
    const std::ptrdiff_t capacity = m_size - Slack;
    if (m_used + n > capacity) {
        flush();
        if (n > capacity) {
            m_block = std::make_unique_for_overwrite<char[]>(std::size_t(n + Slack));
            m_size = n + Slack;
        }
    }
    return m_block.get() + m_used;
}

void TextBlock::append(std::string_view text) {
    if (text.empty())
        return;
    const auto n = std::ptrdiff_t(text.size());
    std::memcpy(reserve(n), text.data(), text.size());
    m_used += n;
}

void TextBlock::flush() {
    if (m_used == 0)
        return;
    const std::ptrdiff_t n = m_used;
    m_used = 0;
    m_sink.write(m_block.get(), n);
}

std::string declarationText(const ArrayDeclaration& d, std::string_view lineEnd) {
    std::string out(d.qualifiers);
    if (!d.attribute.empty())
        out.append(" ").append(d.attribute);
    out.append(" ").append(d.type).append(" ").append(d.name).append("[");
    if (d.count >= 0)
        out += std::to_string(d.count);
    out += "]";
    if (!d.after.empty())
        out.append(" ").append(d.after);
    return out.append(" = {").append(lineEnd);
}

void ArrayWriter::itemText(std::string_view text) {
    const ArrayStyle& s = m_style;
    if (!s.commaAfterLast && m_count > 0) {
        if (s.perLine > 0 && m_onLine == s.perLine) {
            m_out.append(",");
            m_out.append(s.lineEnd);
            m_out.append(s.indent);
            m_onLine = 0;
        } else {
            m_out.append(",");
            m_out.append(s.gap);
        }
    } else if (s.commaAfterLast) {
        m_out.append(m_onLine == 0 ? s.indent : s.gap);
    }
    m_out.append(text);
    if (s.commaAfterLast)
        m_out.append(",");
    ++m_onLine;
    ++m_count;
    if (s.commaAfterLast && s.perLine > 0 && m_onLine == s.perLine)
        endLine();
}

void ArrayWriter::item(long long value) {
    char text[24];
    switch (m_style.form) {
    case ItemForm::Decimal: {
        const auto end = std::to_chars(text, text + sizeof text, value).ptr;
        itemText(std::string_view(text, std::size_t(end - text)));
        return;
    }
    case ItemForm::Hex8:
    case ItemForm::Hex16:
    case ItemForm::Hex32: {
        const int digits = m_style.form == ItemForm::Hex8    ? 2
                           : m_style.form == ItemForm::Hex16 ? 4
                                                             : 8;
        const auto v = static_cast<unsigned long long>(value);
        text[0] = '0';
        text[1] = 'x';
        for (int i = 0; i < digits; ++i)
            text[2 + i] = Digits[(v >> (4 * (digits - 1 - i))) & 15];
        itemText(std::string_view(text, std::size_t(2 + digits)));
        return;
    }
    }
}

void ArrayWriter::bytes(const std::uint8_t* data, std::ptrdiff_t size) {
    const ArrayStyle& s = m_style;
    if (!s.indent.empty() || !s.gap.empty() || !s.commaAfterLast || s.form != ItemForm::Hex8) {
        for (std::ptrdiff_t i = 0; i < size; ++i)
            item(data[i]);
        return;
    }
    const int perLine = s.perLine;
    m_count += size;
    while (size > 0) {
        // As many items as fit the block, and the line when lines are counted.
        std::ptrdiff_t n = std::min<std::ptrdiff_t>(size, 4096);
        if (perLine > 0)
            n = std::min<std::ptrdiff_t>(n, perLine - m_onLine);
        char* out = m_out.reserve(n * 5);
        for (std::ptrdiff_t i = 0; i < n; ++i, out += 5) {
            std::memcpy(out, hex.text[data[i]].data(), 8);
            out[4] = ',';
        }
        m_out.advance(n * 5);
        data += n;
        size -= n;
        m_onLine += n;
        if (perLine > 0 && m_onLine == perLine)
            endLine();
    }
}

void ArrayWriter::samples(const std::uint32_t* s, std::ptrdiff_t count, int sampleBytes,
                          ByteOrder order) {
    const int perLine = m_style.perLine;
    const bool plain = m_style.indent.empty() && m_style.gap.empty() && m_style.commaAfterLast &&
                       m_style.form == ItemForm::Hex8;
    if (!plain || perLine % sampleBytes != 0 || m_onLine % sampleBytes != 0) {
        // A line would end inside a sample: byte by byte.
        std::uint8_t b[3];
        for (std::ptrdiff_t i = 0; i < count; ++i) {
            storeField(b, s[i], sampleBytes, order);
            bytes(b, sampleBytes);
        }
        return;
    }
    const WordItems& items = wordItems(order);
    const bool highFirst = order == ByteOrder::HighFirst;
    const std::string_view lineEnd = m_style.lineEnd;
    m_count += static_cast<long long>(sampleBytes) * count;
    if (perLine == 0)
        m_onLine += static_cast<long long>(sampleBytes) * count;
    const int samplesPerLine = perLine / sampleBytes;
    int left = samplesPerLine - int(m_onLine) / sampleBytes;
    while (count > 0) {
        const std::ptrdiff_t n = std::min<std::ptrdiff_t>(count, 4096);
        const std::ptrdiff_t lineEnds = samplesPerLine > 0 ? n / samplesPerLine + 1 : 0;
        char* out = m_out.reserve(n * 5 * sampleBytes + std::ptrdiff_t(lineEnd.size()) * lineEnds);
        char* end =
            sampleBytes == 1
                ? sampleItems<1>(out, s, n, items, highFirst, samplesPerLine, lineEnd, left)
            : sampleBytes == 2
                ? sampleItems<2>(out, s, n, items, highFirst, samplesPerLine, lineEnd, left)
                : sampleItems<3>(out, s, n, items, highFirst, samplesPerLine, lineEnd, left);
        m_out.advance(end - out);
        s += n;
        count -= n;
    }
    if (perLine > 0)
        m_onLine = perLine - static_cast<long long>(left) * sampleBytes;
}

void ArrayWriter::endLine() {
    if (m_onLine == 0)
        return;
    m_out.append(m_style.lineEnd);
    m_onLine = 0;
}

void ArrayWriter::newLine() {
    m_out.append(m_style.lineEnd);
    m_onLine = 0;
}

void ArrayWriter::close() {
    endLine();
    m_out.append("};");
    m_out.append(m_style.lineEnd);
}

} // namespace zentraq::core

#include "formatter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace zentraq::core {
namespace {

// "0xHH" for every byte, padded to 8 characters so a text is one store.
struct HexTable {
    std::array<std::array<char, 8>, 256> text{};
    constexpr HexTable() {
        constexpr char digits[] = "0123456789ABCDEF";
        for (int v = 0; v < 256; ++v)
            text[v] = {'0', 'x', digits[v >> 4], digits[v & 15], 0, 0, 0, 0};
    }
};
constexpr HexTable hex;

// Room for the 3 characters an 8-character store writes past an item.
constexpr std::ptrdiff_t Slack = 8;

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

} // namespace

const char* hexText(std::uint8_t value) {
    return hex.text[value].data();
}

Formatter::Formatter(ByteSink& sink, DataForm form, LinePolicy lines, std::ptrdiff_t blockSize)
    : m_sink(sink), m_form(form), m_lines(lines),
      m_block(std::make_unique_for_overwrite<char[]>(
          std::size_t(std::max<std::ptrdiff_t>(blockSize, 64) + Slack))),
      m_blockSize(std::max<std::ptrdiff_t>(blockSize, 64) + Slack) {}

char* Formatter::reserve(std::ptrdiff_t n) {
    const std::ptrdiff_t capacity = m_blockSize - Slack;
    if (m_used + n > capacity) {
        flush();
        if (n > capacity) {
            m_block = std::make_unique_for_overwrite<char[]>(std::size_t(n + Slack));
            m_blockSize = n + Slack;
        }
    }
    return m_block.get() + m_used;
}

void Formatter::flush() {
    if (m_used == 0)
        return;
    const std::ptrdiff_t n = m_used;
    m_used = 0;
    m_sink.write(m_block.get(), n);
}

void Formatter::text(std::string_view text) {
    if (m_form == DataForm::Binary || text.empty())
        return;
    const auto n = std::ptrdiff_t(text.size());
    std::memcpy(reserve(n), text.data(), text.size());
    m_used += n;
}

void Formatter::beginArray(std::string_view name, long long size, std::string_view attribute) {
    if (m_form != DataForm::C)
        return;
    text("const ");
    if (!attribute.empty()) {
        text(attribute);
        text(" ");
    }
    text("unsigned char ");
    text(name);
    text("[" + std::to_string(size) + "] = {\r\n");
}

void Formatter::lineEnd() {
    char* out = reserve(2);
    out[0] = '\r';
    out[1] = '\n';
    m_used += 2;
    m_onLine = 0;
}

void Formatter::bytes(const std::uint8_t* data, std::ptrdiff_t size) {
    m_count += size;
    if (m_form == DataForm::Binary) {
        while (size > 0) {
            const std::ptrdiff_t n = std::min<std::ptrdiff_t>(size, m_blockSize - Slack);
            std::memcpy(reserve(n), data, std::size_t(n));
            m_used += n;
            data += n;
            size -= n;
        }
        return;
    }
    const int perLine = m_lines.bytesPerLine;
    while (size > 0) {
        // As many items as fit the block, and the line when lines are counted.
        std::ptrdiff_t n = std::min<std::ptrdiff_t>(size, 4096);
        if (perLine > 0)
            n = std::min<std::ptrdiff_t>(n, perLine - m_onLine);
        char* out = reserve(n * 5 + 2);
        for (std::ptrdiff_t i = 0; i < n; ++i, out += 5) {
            std::memcpy(out, hex.text[data[i]].data(), 8);
            out[4] = ',';
        }
        m_used += n * 5;
        data += n;
        size -= n;
        m_onLine += n;
        if (perLine > 0 && m_onLine == perLine)
            lineEnd();
    }
}

namespace {

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
// is its high byte with HighFirst. With `perLine` > 0, CR LF follows every
// `perLine`th sample, `left` counting down the samples still on the line.
template <int Bytes>
char* sampleItems(char* out, const std::uint32_t* s, std::ptrdiff_t n, const WordItems& items,
                  bool highFirst, int perLine, int& left) {
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
            out[0] = '\r';
            out[1] = '\n';
            out += 2;
            left = perLine;
        }
    }
    return out;
}

} // namespace

void Formatter::samples(const std::uint32_t* s, std::ptrdiff_t count, int sampleBytes,
                        ByteOrder order) {
    const int perLine = m_lines.bytesPerLine;
    if (m_form == DataForm::Binary || perLine % sampleBytes != 0 || m_onLine % sampleBytes != 0) {
        // A line would end inside a sample: byte by byte.
        std::uint8_t b[3];
        for (std::ptrdiff_t i = 0; i < count; ++i) {
            for (int k = 0; k < sampleBytes; ++k) {
                const int shift = order == ByteOrder::LowFirst ? 8 * k : 8 * (sampleBytes - 1 - k);
                b[k] = static_cast<std::uint8_t>(s[i] >> shift);
            }
            bytes(b, sampleBytes);
        }
        return;
    }
    const WordItems& items = wordItems(order);
    const bool highFirst = order == ByteOrder::HighFirst;
    m_count += static_cast<long long>(sampleBytes) * count;
    if (perLine == 0)
        m_onLine += static_cast<long long>(sampleBytes) * count;
    const int samplesPerLine = perLine / sampleBytes;
    int left = samplesPerLine - int(m_onLine) / sampleBytes;
    while (count > 0) {
        const std::ptrdiff_t n = std::min<std::ptrdiff_t>(count, 4096);
        const std::ptrdiff_t lineEnds = samplesPerLine > 0 ? n / samplesPerLine + 1 : 0;
        char* out = reserve(n * 5 * sampleBytes + 2 * lineEnds);
        char* end =
            sampleBytes == 1   ? sampleItems<1>(out, s, n, items, highFirst, samplesPerLine, left)
            : sampleBytes == 2 ? sampleItems<2>(out, s, n, items, highFirst, samplesPerLine, left)
                               : sampleItems<3>(out, s, n, items, highFirst, samplesPerLine, left);
        m_used += end - out;
        s += n;
        count -= n;
    }
    if (perLine > 0)
        m_onLine = perLine - static_cast<long long>(left) * sampleBytes;
}

void Formatter::endFrame(std::string_view label) {
    if (m_form == DataForm::Binary || !m_lines.lineEachFrame)
        return;
    if (m_form == DataForm::C && !label.empty()) {
        text(" /* ");
        text(label);
        text(" */");
    }
    lineEnd();
}

void Formatter::finish() {
    if (m_form == DataForm::C) {
        if (m_onLine > 0)
            lineEnd();
        text("};\r\n");
    }
    flush();
}

} // namespace zentraq::core

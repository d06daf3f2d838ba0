#include "formatter.h"

#include <algorithm>
#include <cstring>

namespace zentraq::core {

Formatter::Formatter(ByteSink& sink, DataForm form, LinePolicy lines, std::ptrdiff_t blockSize)
    : m_form(form), m_lines(lines), m_block(sink, blockSize),
      m_items(m_block, ArrayStyle{"\r\n", {}, {}, lines.bytesPerLine, ItemForm::Hex8, true}) {}

void Formatter::flush() {
    m_block.flush();
}

void Formatter::text(std::string_view text) {
    if (m_form != DataForm::Binary)
        m_block.append(text);
}

void Formatter::beginArray(std::string_view name, long long size, std::string_view attribute) {
    if (m_form != DataForm::C)
        return;
    text(declarationText({"const", attribute, "unsigned char", name, size}, "\r\n"));
}

void Formatter::bytes(const std::uint8_t* data, std::ptrdiff_t size) {
    m_count += size;
    if (m_form != DataForm::Binary) {
        m_items.bytes(data, size);
        return;
    }
    constexpr std::ptrdiff_t Chunk = 1 << 16;
    while (size > 0) {
        const std::ptrdiff_t n = std::min(size, Chunk);
        std::memcpy(m_block.reserve(n), data, std::size_t(n));
        m_block.advance(n);
        data += n;
        size -= n;
    }
}

void Formatter::samples(const std::uint32_t* s, std::ptrdiff_t count, int sampleBytes,
                        ByteOrder order) {
    if (m_form == DataForm::Binary) {
        std::uint8_t b[3];
        for (std::ptrdiff_t i = 0; i < count; ++i) {
            storeField(b, s[i], sampleBytes, order);
            bytes(b, sampleBytes);
        }
        return;
    }
    m_count += static_cast<long long>(sampleBytes) * count;
    m_items.samples(s, count, sampleBytes, order);
}

void Formatter::endFrame(std::string_view label) {
    if (m_form == DataForm::Binary || !m_lines.lineEachFrame)
        return;
    if (m_form == DataForm::C && !label.empty()) {
        text(" /* ");
        text(label);
        text(" */");
    }
    m_items.newLine();
}

void Formatter::finish() {
    if (m_form == DataForm::C)
        m_items.close();
    flush();
}

} // namespace zentraq::core

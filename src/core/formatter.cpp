#include "formatter.h"

#include <algorithm>
#include <array>
#include <cstring>

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
constexpr qsizetype Slack = 8;

} // namespace

const char* hexText(std::uint8_t value) {
    return hex.text[value].data();
}

Formatter::Formatter(ByteSink& sink, DataForm form, LinePolicy lines, qsizetype blockSize)
    : m_sink(sink), m_form(form), m_lines(lines),
      m_block(std::size_t(std::max<qsizetype>(blockSize, 64) + Slack)) {}

char* Formatter::reserve(qsizetype n) {
    const qsizetype capacity = qsizetype(m_block.size()) - Slack;
    if (m_used + n > capacity) {
        flush();
        if (n > capacity)
            m_block.resize(std::size_t(n + Slack));
    }
    return m_block.data() + m_used;
}

void Formatter::flush() {
    if (m_used == 0)
        return;
    const qsizetype n = m_used;
    m_used = 0;
    m_sink.write(m_block.data(), n);
}

void Formatter::text(QByteArrayView text) {
    if (m_form == DataForm::Binary || text.isEmpty())
        return;
    std::memcpy(reserve(text.size()), text.data(), std::size_t(text.size()));
    m_used += text.size();
}

void Formatter::beginArray(const QByteArray& name, qint64 size) {
    if (m_form == DataForm::C)
        text("const unsigned char " + name + "[" + QByteArray::number(size) + "] = {\r\n");
}

void Formatter::lineEnd() {
    char* out = reserve(2);
    out[0] = '\r';
    out[1] = '\n';
    m_used += 2;
    m_onLine = 0;
}

void Formatter::bytes(const std::uint8_t* data, qsizetype size) {
    m_count += size;
    if (m_form == DataForm::Binary) {
        while (size > 0) {
            const qsizetype n = std::min<qsizetype>(size, qsizetype(m_block.size()) - Slack);
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
        qsizetype n = std::min<qsizetype>(size, 4096);
        if (perLine > 0)
            n = std::min<qsizetype>(n, perLine - m_onLine);
        char* out = reserve(n * 5 + 2);
        for (qsizetype i = 0; i < n; ++i, out += 5) {
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

void Formatter::endFrame(QByteArrayView label) {
    if (m_form == DataForm::Binary || !m_lines.lineEachFrame)
        return;
    if (m_form == DataForm::C && !label.isEmpty()) {
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

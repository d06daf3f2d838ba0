#pragma once

// Text for a font file, gathered in large blocks on its way to a sink, and
// the pieces the C forms are made of.

#include "formatter.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace zentraq::font {

class TextOut {
public:
    explicit TextOut(core::ByteSink& sink) : m_sink(sink) { m_block.reserve(BlockSize); }
    ~TextOut() = default; // finish() hands out the rest
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;

    TextOut& operator<<(QByteArrayView text) {
        m_block.append(text);
        if (m_block.size() >= BlockSize)
            flush();
        return *this;
    }
    TextOut& operator<<(const char* text) { return *this << QByteArrayView(text); }
    TextOut& operator<<(const QByteArray& text) { return *this << QByteArrayView(text); }
    TextOut& operator<<(long long v) { return *this << QByteArray::number(v); }
    TextOut& operator<<(int v) { return *this << QByteArray::number(v); }
    TextOut& operator<<(unsigned v) { return *this << QByteArray::number(v); }
    TextOut& operator<<(unsigned long v) { return *this << QByteArray::number(qulonglong(v)); }

    // Bytes as "0xHH, " items, `perLine` to a line, each line indented by
    // four spaces and ended.
    void hexBytes(const std::uint8_t* data, std::size_t size, int perLine = 16);
    // Signed or unsigned numbers as "N, " items, `perLine` to a line.
    template <class T> void numbers(const T* data, std::size_t size, int perLine = 16) {
        for (std::size_t i = 0; i < size; ++i) {
            *this << ((i % std::size_t(perLine)) == 0 ? "    " : " ")
                  << static_cast<long long>(data[i]) << ",";
            if ((i + 1) % std::size_t(perLine) == 0 || i + 1 == size)
                *this << "\n";
        }
    }

    void flush() {
        if (!m_block.isEmpty())
            m_sink.write(m_block.constData(), m_block.size());
        m_block.clear();
    }
    void finish() { flush(); }

private:
    static constexpr qsizetype BlockSize = 1 << 20;
    core::ByteSink& m_sink;
    QByteArray m_block;
};

// "U+0041 "A"" for a C comment: the code, and the character in double
// quotes when it is a visible one (nothing in it can end the comment).
QByteArray commentLabel(char32_t cp);

// `line` fit for one line of a C block comment: no "*/", no "/*", no line
// breaks or control characters.
QByteArray commentLine(const QString& line);

} // namespace zentraq::font

#pragma once

// Text for a font file, gathered in large blocks on its way to a sink, and
// the pieces the C forms are made of.

#include "carray.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace zentraq::font {

// Text on its way to a sink in large blocks. What it holds goes out at
// finish() and also when it goes away without one, unless an exception is
// on its way (the result is abandoned then).
class TextOut {
public:
    explicit TextOut(core::ByteSink& sink) : m_block(sink) {}

    TextOut& operator<<(QByteArrayView text) {
        m_block.append(std::string_view(text.data(), std::size_t(text.size())));
        return *this;
    }
    TextOut& operator<<(const char* text) { return *this << QByteArrayView(text); }
    TextOut& operator<<(const QByteArray& text) { return *this << QByteArrayView(text); }
    TextOut& operator<<(const std::string& text) {
        m_block.append(text);
        return *this;
    }
    TextOut& operator<<(long long v) { return *this << QByteArray::number(v); }
    TextOut& operator<<(int v) { return *this << QByteArray::number(v); }
    TextOut& operator<<(unsigned v) { return *this << QByteArray::number(v); }
    TextOut& operator<<(unsigned long v) { return *this << QByteArray::number(qulonglong(v)); }

    // The items of a C array in the style of the font files: `perLine` to a
    // line, each line indented by four spaces, a space after each comma, and
    // every line ended, the last one too. Bytes as "0xHH", numbers as they
    // are (signed or not).
    void hexBytes(const std::uint8_t* data, std::size_t size, int perLine = core::ItemsPerLine) {
        core::ArrayWriter items(m_block, style(perLine, core::ItemForm::Hex8));
        items.bytes(data, std::ptrdiff_t(size));
        items.endLine();
    }
    template <class T>
    void numbers(const T* data, std::size_t size, int perLine = core::ItemsPerLine) {
        core::ArrayWriter items(m_block, style(perLine, core::ItemForm::Decimal));
        items.items(data, size);
        items.endLine();
    }

    void flush() { m_block.flush(); }
    void finish() { flush(); }
    core::TextBlock& block() { return m_block; }

private:
    static core::ArrayStyle style(int perLine, core::ItemForm form) {
        return {"\n", "    ", " ", perLine, form, true};
    }

    core::TextBlock m_block;
};

// "U+0041 "A"" for a C comment: the code, and the character in double
// quotes when it is a visible one (nothing in it can end the comment).
QByteArray commentLabel(char32_t cp);

// `line` fit for one line of a C block comment: no "*/", no "/*", no line
// breaks or control characters.
QByteArray commentLine(const QString& line);

} // namespace zentraq::font

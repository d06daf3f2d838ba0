#include "datatext.h"

#include "hexbyte.h"
#include "options.h"

#include <cstring>
#include <utility>

namespace zentraq::cli {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Calls item(position, value) for every "0xHH" item of data text, in order;
// `position` is where its "0x" starts.
template <typename Item>
void forEachItem(const char* text, qsizetype size, Item item) {
    for (qsizetype i = 0; i + 3 < size; ++i) {
        if (text[i] != '0' || text[i + 1] != 'x')
            continue;
        const int hi = hexValue(text[i + 2]);
        const int lo = hexValue(text[i + 3]);
        if (hi < 0 || lo < 0)
            continue;
        item(i, hi * 16 + lo);
        i += 3;
    }
}

bool isWordChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

} // namespace

std::uint8_t reverseBits(std::uint8_t b) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        r = static_cast<std::uint8_t>(r | (((b >> i) & 1u) << (7 - i)));
    return r;
}

ByteMap glyphByteMap(bool msbFirst, bool invert) {
    ByteMap map{};
    for (int v = 0; v < 256; ++v) {
        auto b = static_cast<std::uint8_t>(v);
        if (msbFirst)
            b = reverseBits(b);
        if (invert)
            b = static_cast<std::uint8_t>(~b);
        map[static_cast<std::size_t>(v)] = b;
    }
    return map;
}

void mapItems(char* text, qsizetype size, const ByteMap& map) {
    forEachItem(text, size, [text, &map](qsizetype at, int value) {
        const char* item = rgbqumo::HexByteAscii(map[static_cast<std::size_t>(value)]);
        text[at + 2] = item[2];
        text[at + 3] = item[3];
    });
}

void swapPixelBytes(char* text, qsizetype size) {
    // A pixel item is ten characters; a line break (CR LF) may follow any
    // of them.
    qsizetype i = 0;
    while (i + 10 <= size) {
        if (text[i] == '\r' || text[i] == '\n') {
            ++i;
            continue;
        }
        char first[5];
        std::memcpy(first, text + i, 5);
        std::memmove(text + i, text + i + 5, 5);
        std::memcpy(text + i + 5, first, 5);
        i += 10;
    }
}

QByteArray itemBytes(const char* text, qsizetype size) {
    QByteArray out;
    out.reserve(size / 5 + 1);
    forEachItem(text, size, [&out](qsizetype, int value) { out.append(static_cast<char>(value)); });
    return out;
}

QByteArray parseDataText(const QByteArray& text, const QString& source) {
    QByteArray out;
    const char* s = text.constData();
    const qsizetype n = text.size();
    int line = 1;
    for (qsizetype i = 0; i < n;) {
        const char c = s[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            i += 2;
            while (i < n && !(s[i] == '*' && i + 1 < n && s[i + 1] == '/')) {
                if (s[i] == '\n')
                    ++line;
                ++i;
            }
            i = std::min(n, i + 2);
        } else if (c == '/' && i + 1 < n && s[i + 1] == '/') {
            while (i < n && s[i] != '\n')
                ++i;
        } else if (isWordChar(c)) {
            // One word: a number, a name or a keyword. Only numbers of the
            // form 0xH or 0xHH are data.
            const qsizetype start = i;
            while (i < n && isWordChar(s[i]))
                ++i;
            const QByteArray word(s + start, i - start);
            if (word.size() >= 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
                int value = 0;
                bool digits = word.size() > 2;
                for (qsizetype k = 2; k < word.size() && digits; ++k) {
                    const int d = hexValue(word[k]);
                    if (d < 0)
                        digits = false;
                    else
                        value = value > 0xFF ? value : value * 16 + d;
                }
                if (!digits)
                    failure(QStringLiteral("%1, line %2: '%3' is not a hexadecimal number")
                                .arg(source)
                                .arg(line)
                                .arg(QString::fromLatin1(word)));
                if (value > 0xFF)
                    failure(QStringLiteral("%1, line %2: %3 is larger than a byte")
                                .arg(source)
                                .arg(line)
                                .arg(QString::fromLatin1(word)));
                out.append(static_cast<char>(value));
            }
        } else {
            ++i;
        }
    }
    return out;
}

} // namespace zentraq::cli

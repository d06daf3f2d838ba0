#include "datatext.h"

#include <algorithm>

namespace zentraq::core {
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

bool isWordChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

} // namespace

DataText readDataText(QByteArrayView text) {
    DataText result;
    QByteArray& out = result.bytes;
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
                if (!digits || value > 0xFF) {
                    result.problem = {digits ? DataTextProblem::LargerThanByte
                                             : DataTextProblem::NotHexadecimal,
                                      line, word};
                    result.bytes.clear();
                    return result;
                }
                out.append(static_cast<char>(value));
            }
        } else {
            ++i;
        }
    }
    return result;
}

} // namespace zentraq::core

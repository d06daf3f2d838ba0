#include "datatext.h"

#include "utf8.h"

#include <QList>

namespace zentraq::core {
namespace {

bool isWordChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Thrown inside the reader to end it with a problem.
struct Stop {
    DataTextProblem problem;
};

class Reader {
public:
    explicit Reader(QByteArrayView text) : m_s(text.data()), m_n(text.size()) {}

    QByteArray read() {
        checkUtf8();
        for (;;) {
            const QByteArray t = next();
            if (t.isEmpty())
                return m_out;
            if (t == "," || t == ";")
                continue;
            if (t == "#")
                directive();
            else if (isHex(t))
                byte(t);
            else if (isWordChar(t[0]) && !(t[0] >= '0' && t[0] <= '9'))
                declaration(t);
            else
                stop(isWordChar(t[0]) ? DataTextProblem::NotHexByte : DataTextProblem::NotData, t);
        }
    }

private:
    [[noreturn]] void stop(DataTextProblem::Kind kind, const QByteArray& token = {}) {
        throw Stop{{kind, m_tokenLine, token}};
    }

    // Stops at the line of the first byte that is not part of a UTF-8
    // character: a stray continuation byte, an overlong form, a surrogate, a
    // code point above U+10FFFF or a cut sequence.
    void checkUtf8() {
        int line = 1;
        const auto* bytes = reinterpret_cast<const unsigned char*>(m_s);
        for (qsizetype i = 0; i < m_n;) {
            line += bytes[i] == '\n';
            const int length = utf8Length(bytes + i, std::size_t(m_n - i));
            if (length == 0) {
                m_tokenLine = line;
                stop(DataTextProblem::NotUtf8);
            }
            i += length;
        }
    }

    // The next token: a word, or one character; comments and white space
    // skipped. Empty at the end.
    QByteArray next() {
        for (;;) {
            while (m_i < m_n && isSpace(m_s[m_i]))
                m_line += m_s[m_i++] == '\n';
            m_tokenLine = m_line;
            if (m_i + 1 < m_n && m_s[m_i] == '/' && m_s[m_i + 1] == '*') {
                m_i += 2;
                while (m_i < m_n && !(m_s[m_i] == '*' && m_i + 1 < m_n && m_s[m_i + 1] == '/'))
                    m_line += m_s[m_i++] == '\n';
                if (m_i >= m_n)
                    stop(DataTextProblem::OpenComment, "/*");
                m_i += 2;
            } else if (m_i + 1 < m_n && m_s[m_i] == '/' && m_s[m_i + 1] == '/') {
                while (m_i < m_n && m_s[m_i] != '\n')
                    ++m_i;
            } else {
                break;
            }
        }
        if (m_i >= m_n)
            return {};
        const qsizetype start = m_i++;
        if (isWordChar(m_s[start])) {
            while (m_i < m_n && isWordChar(m_s[m_i]))
                ++m_i;
        } else if (uchar(m_s[start]) >= 0xC0) {
            // A whole character (the text is UTF-8).
            while (m_i < m_n && (uchar(m_s[m_i]) & 0xC0) == 0x80)
                ++m_i;
        }
        return QByteArray(m_s + start, m_i - start);
    }

    static bool isHex(const QByteArray& t) {
        return t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
    }

    void byte(const QByteArray& t) {
        int value = 0;
        for (qsizetype k = 2; k < t.size(); ++k) {
            const int d = hexValue(t[k]);
            if (d < 0)
                stop(DataTextProblem::NotHexadecimal, t);
            value = value > 0xFF ? value : value * 16 + d;
        }
        if (t.size() == 2)
            stop(DataTextProblem::NotHexadecimal, t);
        if (value > 0xFF)
            stop(DataTextProblem::LargerThanByte, t);
        m_out.append(char(value));
    }

    // "#include <...>" is read past; any other directive is not data.
    void directive() {
        const QByteArray name = next();
        if (name != "include")
            stop(DataTextProblem::NotData, '#' + name);
        while (m_i < m_n && m_s[m_i] != '\n')
            ++m_i;
    }

    // "const unsigned char NAME[N] = { items };" and the like, from its
    // first word.
    void declaration(const QByteArray& first) {
        const int firstLine = m_tokenLine;
        QList<QByteArray> head{first};
        QByteArray t;
        for (;;) {
            t = next();
            if (t == "=" || t == ";" || t.isEmpty())
                break;
            if (!isWordChar(t[0]) && t != "[" && t != "]" && t != "*")
                stop(DataTextProblem::NotData, t);
            head << t;
        }
        if (t != "=") {
            // A declaration without a value; a lone word is no declaration.
            if (t.isEmpty() || head.size() < 2) {
                m_tokenLine = firstLine;
                stop(DataTextProblem::NotData, first);
            }
            return;
        }
        const bool bytes =
            head.contains("uint8_t") || (head.contains("unsigned") && head.contains("char"));
        t = next();
        if (t != "{") {
            skipTo(";");
            return;
        }
        if (bytes && head.contains("[") && !head.contains("*")) // not a table of pointers
            items();
        else
            skipTo("}");
    }

    // The items of a byte array, up to its "}".
    void items() {
        for (;;) {
            const QByteArray t = next();
            if (t == "}")
                return;
            if (t == ",")
                continue;
            if (t.isEmpty())
                stop(DataTextProblem::NotData, "{");
            if (isHex(t))
                byte(t);
            else
                stop(isWordChar(t[0]) ? DataTextProblem::NotHexByte : DataTextProblem::NotData, t);
        }
    }

    // Past `end` outside any braces, quotes and comments.
    void skipTo(const char* end) {
        int depth = 0;
        for (;;) {
            const QByteArray t = next();
            if (t.isEmpty())
                stop(DataTextProblem::NotData, end == QByteArrayView("}") ? "{" : "=");
            if (t == end && depth == 0)
                return;
            if (t == "{")
                ++depth;
            else if (t == "}")
                --depth;
            else if (t == "\"" || t == "'")
                skipQuoted(t[0]);
        }
    }

    void skipQuoted(char quote) {
        while (m_i < m_n && m_s[m_i] != quote && m_s[m_i] != '\n')
            m_i += m_s[m_i] == '\\' ? 2 : 1;
        ++m_i;
    }

    const char* m_s;
    qsizetype m_n;
    qsizetype m_i = 0;
    int m_line = 1;
    int m_tokenLine = 1;
    QByteArray m_out;
};

} // namespace

DataText readDataText(QByteArrayView text) {
    DataText result;
    try {
        result.bytes = Reader(text).read();
    } catch (const Stop& s) {
        result.problem = s.problem;
    }
    return result;
}

} // namespace zentraq::core

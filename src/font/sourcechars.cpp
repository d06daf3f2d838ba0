#include "sourcechars.h"

#include "fonterror.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringDecoder>

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <string>
#include <vector>

namespace zentraq::font {
namespace {

[[noreturn]] void failAt(const QString& shown, long line, const QString& what) {
    fontFailure(QStringLiteral("%1:%2: %3").arg(shown).arg(line).arg(what));
}

// Appends the code point `cp` to `out` (nothing for a surrogate or a value
// past U+10FFFF).
void appendCode(QString& out, char32_t cp) {
    if (cp > LastCodePoint || (cp >= 0xD800 && cp <= 0xDFFF))
        return;
    out += QString::fromUcs4(&cp, 1);
}

// UTF-8 bytes into `out`; the maximal part of an ill-formed sequence is
// dropped, as Unicode describes it.
void appendUtf8(QString& out, const std::vector<std::uint32_t>& bytes) {
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const std::uint32_t b = bytes[i];
        if (b < 0x80) {
            appendCode(out, b);
            ++i;
            continue;
        }
        int need = 0;
        std::uint32_t lo = 0x80, hi = 0xBF, cp = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1, cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2, cp = b & 0x0F;
            lo = b == 0xE0 ? 0xA0 : 0x80;
            hi = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3, cp = b & 0x07;
            lo = b == 0xF0 ? 0x90 : 0x80;
            hi = b == 0xF4 ? 0x8F : 0xBF;
        } else {
            ++i; // no lead byte
            continue;
        }
        std::size_t j = i + 1;
        int got = 0;
        while (got < need && j < n && bytes[j] >= lo && bytes[j] <= hi) {
            cp = cp << 6 | (bytes[j] & 0x3F);
            ++j, ++got;
            lo = 0x80, hi = 0xBF;
        }
        if (got == need)
            appendCode(out, cp);
        i = j;
    }
}

// UTF-16 units into `out`; a lone surrogate is dropped.
void appendUtf16(QString& out, const std::vector<std::uint32_t>& units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            appendCode(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            appendCode(out, u);
        }
    }
}

bool isIdentifierChar(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c >= 0x80;
}

int hexValue(char32_t c) {
    if (c >= '0' && c <= '9')
        return int(c - '0');
    if (c >= 'a' && c <= 'f')
        return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return int(c - 'A' + 10);
    return -1;
}

// The lexer of C and C++ source, over code points.
class CLexer {
public:
    CLexer(QStringView text, const QString& shown) : m_s(text.toUcs4()), m_shown(shown) {
        for (qsizetype i = 0; i < m_s.size(); ++i)
            if (m_s[i] == '\n')
                m_lineEnds.push_back(i);
    }

    QString literals() {
        bool lineStart = true;
        m_p = 0;
        while (true) {
            const qsizetype p = skip(m_p);
            if (p >= m_s.size())
                break;
            const char32_t c = m_s[p];
            if (c == '\n') {
                lineStart = true;
                m_p = p + 1;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                m_p = p + 1;
            } else if (c == '/' && at(p + 1) == '/') {
                lineComment(p);
            } else if (c == '/' && at(p + 1) == '*') {
                blockComment(p);
            } else if (c == '#' && lineStart) {
                directive(p + 1);
                lineStart = false;
            } else {
                lineStart = false;
                token(p);
            }
        }
        return m_out;
    }

private:
    // The position of the next character from `p` on, after any line
    // splices (a backslash ending a line).
    qsizetype skip(qsizetype p) const {
        while (p < m_s.size() && m_s[p] == '\\') {
            qsizetype q = p + 1;
            if (q < m_s.size() && m_s[q] == '\r')
                ++q;
            if (q < m_s.size() && m_s[q] == '\n')
                p = q + 1;
            else
                break;
        }
        return p;
    }
    // The character after the one at `p` (which is no splice), splices
    // skipped; 0 past the end.
    char32_t at(qsizetype p) const {
        p = skip(p);
        return p < m_s.size() ? char32_t(m_s[p]) : 0;
    }
    qsizetype next(qsizetype p) const { return skip(p + 1); }

    long lineOf(qsizetype p) const {
        return long(std::lower_bound(m_lineEnds.begin(), m_lineEnds.end(), p) -
                    m_lineEnds.begin()) +
               1;
    }

    void lineComment(qsizetype p) {
        p = next(next(p));
        while (p < m_s.size() && m_s[p] != '\n')
            p = next(p);
        m_p = p;
    }

    void blockComment(qsizetype start) {
        qsizetype p = next(next(start));
        while (p < m_s.size()) {
            if (m_s[p] == '*' && at(p + 1) == '/') {
                m_p = next(next(p));
                return;
            }
            p = next(p);
        }
        CLexer::fail(start, QStringLiteral("a comment /* is not closed"));
    }

    // After '#' at the start of a line: the header name of an #include is
    // no text of the program; the rest of the line is lexed as any other.
    void directive(qsizetype p) {
        p = skipBlanks(p);
        QString name;
        while (p < m_s.size() && isIdentifierChar(m_s[p]) && m_s[p] < 0x80) {
            name += QChar(char16_t(m_s[p]));
            p = next(p);
        }
        m_lenientLine = -1;
        if (name == QLatin1String("error") || name == QLatin1String("warning")) {
            // Their message is free text: an apostrophe there opens nothing.
            m_lenientLine = lineOf(p);
        } else if (name == QLatin1String("include") || name == QLatin1String("include_next") ||
                   name == QLatin1String("import")) {
            p = skipBlanks(p);
            if (p < m_s.size() && (m_s[p] == '"' || m_s[p] == '<')) {
                const char32_t close = m_s[p] == '"' ? '"' : '>';
                p = next(p);
                while (p < m_s.size() && m_s[p] != close && m_s[p] != '\n')
                    p = next(p);
                if (p < m_s.size() && m_s[p] == close)
                    p = next(p);
            }
        }
        m_p = p;
    }
    qsizetype skipBlanks(qsizetype p) {
        while (true) {
            p = skip(p);
            if (p < m_s.size() && (m_s[p] == ' ' || m_s[p] == '\t')) {
                ++p;
            } else if (p < m_s.size() && m_s[p] == '/' && at(p + 1) == '*') {
                blockComment(p);
                p = m_p;
            } else {
                return p;
            }
        }
    }

    void token(qsizetype p) {
        const char32_t c = m_s[p];
        if (c == '"' || c == '\'') {
            literal(p, QString());
        } else if (c >= '0' && c <= '9') {
            number(p);
        } else if (c == '.' && at(p + 1) >= '0' && at(p + 1) <= '9') {
            number(p);
        } else if (isIdentifierChar(c) && !(c >= '0' && c <= '9')) {
            QString id;
            qsizetype q = p;
            while (q < m_s.size() && isIdentifierChar(m_s[q])) {
                if (m_s[q] < 0x80)
                    id += QChar(char16_t(m_s[q]));
                else
                    id += u'?';
                q = next(q);
            }
            const char32_t after = q < m_s.size() ? char32_t(m_s[q]) : 0;
            if ((after == '"' || after == '\'') &&
                (id == QLatin1String("u8") || id == QLatin1String("u") ||
                 id == QLatin1String("U") || id == QLatin1String("L"))) {
                literal(q, id);
            } else if (after == '"' && (id == QLatin1String("R") || id == QLatin1String("u8R") ||
                                        id == QLatin1String("uR") || id == QLatin1String("UR") ||
                                        id == QLatin1String("LR"))) {
                rawString(q, id.chopped(1));
            } else {
                m_p = q;
            }
        } else {
            m_p = next(p);
        }
    }

    // A preprocessing number: digits, letters, '_', '.', a sign after an
    // exponent's e or p, and digit separators.
    void number(qsizetype p) {
        char32_t last = 0;
        while (p < m_s.size()) {
            const char32_t c = m_s[p];
            const bool sign = (c == '+' || c == '-') &&
                              (last == 'e' || last == 'E' || last == 'p' || last == 'P');
            const bool separator = c == '\'' && isIdentifierChar(at(p + 1)) && at(p + 1) < 0x80;
            if (!(isIdentifierChar(c) && c < 0x80) && c != '.' && !sign && !separator)
                break;
            last = c;
            p = next(p);
        }
        m_p = p;
    }

    // How wide a literal's units are: 8 (plain, u8), 16 (u) or 32 (U, L).
    static int unitBits(const QString& prefix) {
        if (prefix == QLatin1String("u"))
            return 16;
        if (prefix == QLatin1String("U") || prefix == QLatin1String("L"))
            return 32;
        return 8;
    }
    static void appendUnits(std::vector<std::uint32_t>& units, char32_t cp, int bits) {
        if (bits == 32) {
            units.push_back(cp);
        } else if (bits == 16) {
            if (cp >= 0x10000) {
                units.push_back(0xD800 + ((cp - 0x10000) >> 10));
                units.push_back(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                units.push_back(cp);
            }
        } else {
            const QByteArray utf8 = QString::fromUcs4(&cp, 1).toUtf8();
            for (const char b : utf8)
                units.push_back(std::uint8_t(b));
        }
    }
    void flush(std::vector<std::uint32_t>& units, int bits) {
        if (bits == 8)
            appendUtf8(m_out, units);
        else if (bits == 16)
            appendUtf16(m_out, units);
        else
            for (const std::uint32_t u : units)
                appendCode(m_out, u);
        units.clear();
    }

    // A string or character literal from its quote at `p`.
    void literal(qsizetype start, const QString& prefix) {
        const char32_t quote = m_s[start];
        const int bits = unitBits(prefix);
        const std::uint32_t mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
        std::vector<std::uint32_t> units;
        qsizetype p = next(start);
        while (true) {
            if (p >= m_s.size() || m_s[p] == '\n') {
                if (quote == '\'' && lineOf(start) == m_lenientLine) {
                    m_p = p; // free text of #error or #warning
                    return;
                }
                CLexer::fail(start, quote == '"' ? QStringLiteral("a string literal is not closed")
                                                 : QStringLiteral("a character literal is not "
                                                                  "closed"));
            }
            const char32_t c = m_s[p];
            if (c == quote) {
                m_p = next(p);
                break;
            }
            if (c != '\\') {
                appendUnits(units, c, bits);
                p = next(p);
                continue;
            }
            p = next(p);
            if (p >= m_s.size())
                continue; // (reported as not closed)
            const char32_t e = m_s[p];
            p = next(p);
            switch (e) {
            case 'n':
                units.push_back('\n');
                break;
            case 't':
                units.push_back('\t');
                break;
            case 'r':
                units.push_back('\r');
                break;
            case 'a':
                units.push_back(7);
                break;
            case 'b':
                units.push_back(8);
                break;
            case 'f':
                units.push_back(12);
                break;
            case 'v':
                units.push_back(11);
                break;
            case 'e':
            case 'E':
                units.push_back(27);
                break;
            case 'x': {
                std::uint64_t v = 0;
                while (p < m_s.size() && hexValue(m_s[p]) >= 0) {
                    v = std::min<std::uint64_t>(v * 16 + std::uint64_t(hexValue(m_s[p])),
                                                0xFFFFFFFFFull);
                    p = next(p);
                }
                units.push_back(std::uint32_t(v) & mask);
                break;
            }
            case 'u':
            case 'U': {
                char32_t v = 0;
                int digits = 0;
                const int want = e == 'u' ? 4 : 8;
                while (digits < want && p < m_s.size() && hexValue(m_s[p]) >= 0) {
                    v = v * 16 + char32_t(hexValue(m_s[p]));
                    p = next(p);
                    ++digits;
                }
                if (digits == want)
                    appendUnits(units, v, bits);
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    std::uint32_t v = e - '0';
                    for (int k = 0; k < 2 && p < m_s.size() && m_s[p] >= '0' && m_s[p] <= '7';
                         ++k) {
                        v = v * 8 + (m_s[p] - '0');
                        p = next(p);
                    }
                    units.push_back(v & mask);
                } else {
                    appendUnits(units, e, bits); // \' \" \? \\, and any other as itself
                }
            }
        }
        flush(units, bits);
    }

    // A raw string from its quote at `start`: R"delimiter( ... )delimiter",
    // its characters as they are, line splices included.
    void rawString(qsizetype start, const QString& prefix) {
        qsizetype p = start + 1;
        std::u32string delimiter;
        while (p < m_s.size() && m_s[p] != '(' && delimiter.size() <= 16) {
            const char32_t c = m_s[p];
            if (c == ' ' || c == ')' || c == '\\' || c == '\t' || c == '\n' || c == '"')
                break;
            delimiter += c;
            ++p;
        }
        if (p >= m_s.size() || m_s[p] != '(')
            CLexer::fail(start, QStringLiteral("a raw string has no delimiter and '(' (at most 16 "
                                               "characters)"));
        const qsizetype body = p + 1;
        const qsizetype length = qsizetype(delimiter.size());
        for (qsizetype q = body; q + length + 1 < m_s.size(); ++q) {
            if (m_s[q] != ')' || m_s[q + length + 1] != '"')
                continue;
            bool match = true;
            for (qsizetype k = 0; match && k < length; ++k)
                match = char32_t(m_s[q + 1 + k]) == delimiter[std::size_t(k)];
            if (match) {
                const int bits = unitBits(prefix);
                std::vector<std::uint32_t> units;
                for (qsizetype k = body; k < q; ++k)
                    appendUnits(units, m_s[k], bits);
                flush(units, bits);
                m_p = q + length + 2;
                return;
            }
        }
        CLexer::fail(start, QStringLiteral("a raw string is not closed"));
    }

    [[noreturn]] void fail(qsizetype p, const QString& what) const {
        failAt(m_shown, lineOf(p), what);
    }

    const QList<uint> m_s;
    const QString& m_shown;
    std::vector<qsizetype> m_lineEnds;
    qsizetype m_p = 0;
    long m_lenientLine = -1;
    QString m_out;
};

void jsonValue(const QJsonValue& v, QString& out) {
    if (v.isString()) {
        out += v.toString();
    } else if (v.isArray()) {
        for (const QJsonValue& item : v.toArray())
            jsonValue(item, out);
    } else if (v.isObject()) {
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            jsonValue(it.value(), out);
    }
}

void yamlNode(const YAML::Node& node, QString& out) {
    switch (node.Type()) {
    case YAML::NodeType::Scalar:
        out += QString::fromStdString(node.Scalar());
        break;
    case YAML::NodeType::Sequence:
        for (const YAML::Node& item : node)
            yamlNode(item, out);
        break;
    case YAML::NodeType::Map:
        for (const auto& pair : node)
            yamlNode(pair.second, out);
        break;
    default:
        break;
    }
}

} // namespace

std::optional<SourceKind> sourceKindNamed(QStringView name) {
    if (name == u"c")
        return SourceKind::C;
    if (name == u"c++")
        return SourceKind::Cpp;
    if (name == u"json")
        return SourceKind::Json;
    if (name == u"yaml")
        return SourceKind::Yaml;
    if (name == u"text")
        return SourceKind::Text;
    return std::nullopt;
}

std::optional<SourceEncoding> sourceEncodingNamed(QStringView name) {
    if (name.compare(u"utf-8", Qt::CaseInsensitive) == 0)
        return SourceEncoding::Utf8;
    if (name.compare(u"gbk", Qt::CaseInsensitive) == 0)
        return SourceEncoding::Gbk;
    if (name.compare(u"gb18030", Qt::CaseInsensitive) == 0)
        return SourceEncoding::Gb18030;
    return std::nullopt;
}

SourceKind sourceKindOf(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("c") || suffix == QLatin1String("h"))
        return SourceKind::C;
    for (const char* s : {"cc", "cpp", "cxx", "hpp", "hh", "hxx", "ino"})
        if (suffix == QLatin1String(s))
            return SourceKind::Cpp;
    if (suffix == QLatin1String("json"))
        return SourceKind::Json;
    if (suffix == QLatin1String("yml") || suffix == QLatin1String("yaml"))
        return SourceKind::Yaml;
    return SourceKind::Text;
}

QString decodeSource(QByteArrayView bytes, SourceEncoding encoding, const QString& shown) {
    if (encoding == SourceEncoding::Utf8 && bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    const char* name = encoding == SourceEncoding::Utf8  ? "UTF-8"
                       : encoding == SourceEncoding::Gbk ? "GBK"
                                                         : "GB18030";
    QStringDecoder decoder(name, QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        fontFailure(QStringLiteral("this system cannot decode %1").arg(QLatin1String(name)));
    // Line by line, so that a fault is found on its line: no byte of a
    // multi-byte character of these encodings is a line feed.
    QString text;
    text.reserve(bytes.size());
    long line = 1;
    for (qsizetype from = 0; from < bytes.size(); ++line) {
        qsizetype end = bytes.indexOf('\n', from);
        end = end < 0 ? bytes.size() : end + 1;
        text += decoder.decode(bytes.sliced(from, end - from));
        if (decoder.hasError())
            failAt(shown, line,
                   QStringLiteral("bytes that are not %1 (give --source-encoding)")
                       .arg(QLatin1String(name)));
        from = end;
    }
    return text;
}

QString cLiterals(QStringView text, const QString& shown) {
    return CLexer(text, shown).literals();
}

QString jsonStrings(const QString& text, const QString& shown) {
    const QByteArray utf8 = text.toUtf8();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError)
        failAt(shown, long(utf8.left(error.offset).count('\n')) + 1,
               QStringLiteral("not JSON: %1").arg(error.errorString()));
    QString out;
    jsonValue(doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object()), out);
    return out;
}

QString yamlStrings(const QString& text, const QString& shown) {
    QString out;
    try {
        for (const YAML::Node& doc : YAML::LoadAll(text.toStdString()))
            yamlNode(doc, out);
    } catch (const YAML::Exception& e) {
        failAt(shown, long(e.mark.line) + 1,
               QStringLiteral("not YAML: %1").arg(QString::fromStdString(e.msg)));
    }
    return out;
}

QString sourceCharacters(const QString& name, SourceKind kind, SourceEncoding encoding,
                         const SourceFiles& files) {
    const QString shown = files.shown(name);
    const QString text = decodeSource(files.read(name), encoding, shown);
    switch (kind == SourceKind::Guess ? sourceKindOf(name) : kind) {
    case SourceKind::C:
    case SourceKind::Cpp:
        return cLiterals(text, shown);
    case SourceKind::Json:
        return jsonStrings(text, shown);
    case SourceKind::Yaml:
        return yamlStrings(text, shown);
    default:
        return text;
    }
}

} // namespace zentraq::font

#include "bdfcheck.h"

#include "fonterror.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <vector>

namespace zentraq::font {
namespace {

bool blank(char c) {
    return c == ' ' || c == '\t';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The words of a line, split at spaces and tabs.
std::vector<QByteArrayView> wordsOf(QByteArrayView line) {
    std::vector<QByteArrayView> words;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && blank(line[i]))
            ++i;
        const qsizetype start = i;
        while (i < line.size() && !blank(line[i]))
            ++i;
        if (i > start)
            words.push_back(line.sliced(start, i - start));
    }
    return words;
}

std::optional<long> number(QByteArrayView word) {
    long v = 0;
    const char* end = word.data() + word.size();
    const char* first = word.data();
    if (first != end && *first == '+')
        ++first;
    const auto [at, ec] = std::from_chars(first, end, v);
    if (ec != std::errc() || at != end)
        return std::nullopt;
    return v;
}

// What follows the keyword of `line`, from its first non-blank character.
QByteArrayView valueOf(QByteArrayView line, qsizetype keywordLength) {
    qsizetype i = keywordLength;
    while (i < line.size() && blank(line[i]))
        ++i;
    return line.sliced(i);
}

// A BDF string value: inside double quotes, where "" stands for one quote;
// a value without quotes is taken as it stands.
QByteArray stringValue(QByteArrayView value) {
    if (value.isEmpty() || value[0] != '"')
        return value.toByteArray();
    QByteArray out;
    for (qsizetype i = 1; i < value.size(); ++i) {
        if (value[i] == '"') {
            if (i + 1 < value.size() && value[i + 1] == '"') {
                out += '"';
                ++i;
                continue;
            }
            break;
        }
        out += value[i];
    }
    return out;
}

struct Box {
    long w = 0, h = 0, x = 0, y = 0;
};

// "w h x y", each within what FreeType keeps (16 bits), sizes not negative.
std::optional<Box> boxOf(const std::vector<QByteArrayView>& words) {
    if (words.size() < 5)
        return std::nullopt;
    long v[4];
    for (int i = 0; i < 4; ++i) {
        const auto n = number(words[std::size_t(i) + 1]);
        if (!n || *n < -32767 || *n > 32767)
            return std::nullopt;
        v[i] = *n;
    }
    if (v[0] < 0 || v[1] < 0)
        return std::nullopt;
    return Box{v[0], v[1], v[2], v[3]};
}

class Reader {
public:
    Reader(QByteArrayView data, const QString& label) : m_data(data), m_label(label) {}

    BdfHeader read() {
        while (nextLine()) {
            if (m_line.isEmpty())
                continue;
            if (keywordIs("ENDFONT")) {
                finish();
                return m_header;
            }
            if (keywordIs("STARTCHAR"))
                glyph();
            else
                header();
        }
        fail(QStringLiteral("is cut short: it ends after %1 glyphs without ENDFONT")
                 .arg(m_header.glyphCount));
    }

private:
    bool nextLine() {
        if (m_at >= m_data.size())
            return false;
        qsizetype end = m_data.indexOf('\n', m_at);
        if (end < 0)
            end = m_data.size();
        m_line = m_data.sliced(m_at, end - m_at);
        if (m_line.endsWith('\r'))
            m_line.chop(1);
        m_at = end + 1;
        ++m_lineNumber;
        return true;
    }

    bool keywordIs(const char* keyword) const {
        const QByteArrayView k(keyword);
        return m_line.startsWith(k) && (m_line.size() == k.size() || blank(m_line[k.size()]));
    }

    [[noreturn]] void fail(const QString& what) const {
        fontFailure(QStringLiteral("'%1' %2").arg(m_label, what));
    }
    [[noreturn]] void failHere(const QString& what) const {
        fail(QStringLiteral("%1 (line %2)").arg(what).arg(m_lineNumber));
    }

    void header() {
        if (keywordIs("FONT")) {
            m_header.font = valueOf(m_line, 4).toByteArray();
        } else if (keywordIs("COPYRIGHT")) {
            m_header.copyright = stringValue(valueOf(m_line, 9));
        } else if (keywordIs("FONTBOUNDINGBOX")) {
            m_fontBox = boxOf(wordsOf(m_line));
            if (!m_fontBox)
                failHere(QStringLiteral("has a FONTBOUNDINGBOX that is not four numbers"));
        } else if (keywordIs("CHARS")) {
            const std::vector<QByteArrayView> w = wordsOf(m_line);
            const auto n = w.size() == 2 ? number(w[1]) : std::nullopt;
            if (!n || *n < 0)
                failHere(QStringLiteral("has a CHARS line that is not a count"));
            m_chars = *n;
        } else if (keywordIs("ENDCHAR") || keywordIs("BITMAP") || keywordIs("BBX")) {
            failHere(QStringLiteral("has %1 outside a glyph")
                         .arg(QString::fromLatin1(wordsOf(m_line).front())));
        }
    }

    // The glyph from its STARTCHAR line to its ENDCHAR.
    void glyph() {
        if (!m_fontBox)
            failHere(QStringLiteral("has no FONTBOUNDINGBOX before its first glyph"));
        if (!m_chars)
            failHere(QStringLiteral("has no CHARS line before its first glyph"));
        m_glyphName = QString::fromLatin1(valueOf(m_line, 9).toByteArray());
        std::optional<Box> box;
        for (;;) {
            if (!nextLine())
                fail(QStringLiteral("is cut short: it ends inside %1").arg(glyphName()));
            if (keywordIs("ENCODING")) {
                const std::vector<QByteArrayView> w = wordsOf(m_line);
                m_encoding = w.size() >= 2 ? number(w[1]) : std::nullopt;
            } else if (keywordIs("BBX")) {
                box = boxOf(wordsOf(m_line));
                if (!box)
                    failHere(QStringLiteral("gives %1 a BBX that is not a width, height and "
                                            "offsets FreeType can hold")
                                 .arg(glyphName()));
            } else if (keywordIs("BITMAP")) {
                break;
            } else if (keywordIs("ENDCHAR") || keywordIs("STARTCHAR") || keywordIs("ENDFONT")) {
                failHere(QStringLiteral("ends %1 before its BITMAP").arg(glyphName()));
            }
        }
        if (!box)
            failHere(QStringLiteral("gives %1 no BBX").arg(glyphName()));
        bitmap(*box);
        ++m_header.glyphCount;
        m_encoding.reset();
    }

    // The rows of a glyph's bitmap, up to its ENDCHAR.
    void bitmap(const Box& box) {
        long row = 0;
        long inkLeft = LONG_MAX, inkRight = LONG_MIN, inkTop = -1, inkBottom = -1;
        for (;;) {
            if (!nextLine())
                fail(QStringLiteral("is cut short: it ends inside the bitmap of %1")
                         .arg(glyphName()));
            QByteArrayView text = m_line;
            while (!text.isEmpty() && blank(text.back()))
                text.chop(1);
            while (!text.isEmpty() && blank(text.front()))
                text = text.sliced(1);
            if (text == "ENDCHAR")
                break;
            if (text.isEmpty())
                continue;
            for (const char c : text) {
                if (hexValue(c) < 0)
                    failHere(QStringLiteral("has a bitmap row of %1 that is not hexadecimal")
                                 .arg(glyphName()));
            }
            if (row >= box.h)
                failHere(QStringLiteral("gives %1 more bitmap rows than its BBX height of %2; "
                                        "the glyph is larger than its box")
                             .arg(glyphName())
                             .arg(box.h));
            if (text.size() < (box.w + 7) / 8 * 2)
                failHere(QStringLiteral("is cut short: a bitmap row of %1 holds %2 of the %4 "
                                        "hexadecimal digits its BBX width of %3 needs")
                             .arg(glyphName())
                             .arg(text.size())
                             .arg(box.w)
                             .arg((box.w + 7) / 8 * 2));
            for (qsizetype i = 0; i < text.size(); ++i) {
                const int v = hexValue(text[i]);
                for (int b = 0; b < 4; ++b) {
                    if (!(v & (8 >> b)))
                        continue;
                    const long x = long(i) * 4 + b;
                    if (x >= box.w)
                        failHere(QStringLiteral("has ink in column %1 of %2, whose BBX is %3 "
                                                "wide; the glyph is larger than its box")
                                     .arg(x + 1)
                                     .arg(glyphName())
                                     .arg(box.w));
                    inkLeft = std::min(inkLeft, x);
                    inkRight = std::max(inkRight, x);
                    if (inkTop < 0)
                        inkTop = row;
                    inkBottom = row;
                }
            }
            ++row;
        }
        if (row < box.h)
            failHere(QStringLiteral("is cut short: %1 has %2 of its %3 bitmap rows")
                         .arg(glyphName())
                         .arg(row)
                         .arg(box.h));
        if (inkTop < 0)
            return;
        // The ink in the font's coordinates, y up from the base line.
        const Box& f = *m_fontBox;
        const long left = box.x + inkLeft, right = box.x + inkRight + 1;
        const long top = box.y + box.h - inkTop, bottom = box.y + box.h - 1 - inkBottom;
        if (left < f.x || right > f.x + f.w || bottom < f.y || top > f.y + f.h)
            failHere(QStringLiteral("has ink of %1 outside its FONTBOUNDINGBOX %2 %3 %4 %5")
                         .arg(glyphName())
                         .arg(f.w)
                         .arg(f.h)
                         .arg(f.x)
                         .arg(f.y));
    }

    void finish() {
        if (!m_chars)
            fail(QStringLiteral("has no CHARS line"));
        if (m_header.glyphCount < *m_chars)
            fail(QStringLiteral("is cut short: it holds %1 glyphs, CHARS says %2")
                     .arg(m_header.glyphCount)
                     .arg(*m_chars));
        if (m_header.glyphCount > *m_chars)
            fail(QStringLiteral("holds %1 glyphs, CHARS says %2")
                     .arg(m_header.glyphCount)
                     .arg(*m_chars));
    }

    QString glyphName() const {
        if (m_encoding && *m_encoding >= 0 && *m_encoding <= 0x10FFFF)
            return QStringLiteral("the glyph of %1").arg(codeName(char32_t(*m_encoding)));
        return QStringLiteral("the glyph '%1'").arg(m_glyphName);
    }

    QByteArrayView m_data;
    const QString& m_label;
    qsizetype m_at = 0;
    QByteArrayView m_line;
    long m_lineNumber = 0;
    BdfHeader m_header;
    std::optional<Box> m_fontBox;
    std::optional<long> m_chars;
    QString m_glyphName;
    std::optional<long> m_encoding;
};

} // namespace

bool isBdf(QByteArrayView data) {
    return data.startsWith("STARTFONT") &&
           (data.size() == 9 || blank(data[9]) || data[9] == '\n' || data[9] == '\r');
}

BdfHeader checkBdf(QByteArrayView data, const QString& label) {
    return Reader(data, label).read();
}

} // namespace zentraq::font

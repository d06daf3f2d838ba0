#include "charsets.h"

#include "glyphcanvas.h"

#include <QStringDecoder>

#include <set>

namespace zentraq::glyph {
namespace {

// Codes where the system's converter departs from the set's standard: ICU's
// GB2312 table has U+00B4 ACUTE ACCENT at 0xA3A7, where GB 2312 itself (and
// GBK, GB 18030 and iconv) have U+FF07 FULLWIDTH APOSTROPHE.
struct Correction {
    const char* set;
    int code;
    char32_t cp;
};
constexpr Correction Corrections[] = {{"GB2312", 0xA3A7, 0xFF07}};

// The slot of a two-byte code as `decoder` reads it: one character that is
// neither the replacement character nor private-use, which is how the
// converters report codes the set leaves unassigned.
CharsetSlot decodeSlot(QStringDecoder& decoder, const char* set, int lead, int trail) {
    CharsetSlot slot;
    slot.code = lead * 256 + trail;
    for (const Correction& c : Corrections) {
        if (c.code == slot.code && qstrcmp(c.set, set) == 0) {
            slot.cp = c.cp;
            slot.assigned = true;
            return slot;
        }
    }
    const char bytes[2] = {char(lead), char(trail)};
    decoder.resetState();
    const QString s = decoder(QByteArrayView(bytes, 2));
    if (decoder.hasError() || s.isEmpty())
        return slot;
    qsizetype i = 0;
    const char32_t cp = nextCharacter(s, i);
    const QChar::Category category = QChar::category(cp);
    if (i != s.size() || cp == 0xFFFD || category == QChar::Other_PrivateUse ||
        category == QChar::Other_Surrogate || category == QChar::Other_Control)
        return slot;
    slot.cp = cp;
    slot.assigned = true;
    return slot;
}

CharsetResult twoByteSet(const char* set, int leadFirst, int leadLast, int trailFirst,
                         int trailLast, int skippedTrail) {
    CharsetResult result;
    QStringDecoder decoder(set);
    if (!decoder.isValid()) {
        result.problem = CharsetProblem::NoConverter;
        return result;
    }
    for (int lead = leadFirst; lead <= leadLast; ++lead)
        for (int trail = trailFirst; trail <= trailLast; ++trail)
            if (trail != skippedTrail)
                result.charset.entries.push_back(decodeSlot(decoder, set, lead, trail));
    return result;
}

} // namespace

std::vector<char32_t> Charset::characters() const {
    std::vector<char32_t> chars;
    for (const CharsetSlot& s : entries) {
        if (s.assigned)
            chars.push_back(s.cp);
    }
    return chars;
}

QStringList charsetNames() {
    return {QStringLiteral("gb2312"), QStringLiteral("gbk"), QStringLiteral("ascii")};
}

CharsetResult namedCharset(QStringView name) {
    CharsetResult result;
    if (name == u"gb2312") {
        result = twoByteSet("GB2312", 0xA1, 0xF7, 0xA1, 0xFE, -1);
        result.charset.description =
            QStringLiteral("gb2312, 87 x 94 slots: GB2312 rows 1-87, cells 1-94");
        result.charset.offset = QStringLiteral(
            "the code (0xA0 + row, 0xA0 + cell) at ((row - 1) * 94 + (cell - 1)) * B");
    } else if (name == u"gbk") {
        result = twoByteSet("GBK", 0x81, 0xFE, 0x40, 0xFE, 0x7F);
        result.charset.description =
            QStringLiteral("gbk, 126 x 190 slots: leads 0x81-0xFE, trails 0x40-0x7E and 0x80-0xFE");
        result.charset.offset = QStringLiteral(
            "the code (lead, trail) at ((lead - 0x81) * 190 + trail - 0x40 - (trail > 0x7F)) * B");
    } else if (name == u"ascii") {
        result.charset.description = QStringLiteral("ascii, 95 slots: 0x20-0x7E");
        result.charset.offset = QStringLiteral("the character c at (c - 0x20) * B");
        for (char32_t c = 0x20; c <= 0x7E; ++c)
            result.charset.entries.push_back({c, true, -1});
    }
    return result;
}

CharsetResult textCharset(QByteArrayView utf8) {
    CharsetResult result;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(utf8);
    if (decoder.hasError()) {
        result.problem = CharsetProblem::NotUtf8;
        return result;
    }
    std::set<char32_t> chars;
    for (qsizetype i = 0; i < text.size();) {
        const char32_t cp = nextCharacter(text, i);
        if (QChar::category(cp) != QChar::Other_Control)
            chars.insert(cp);
    }
    if (chars.empty())
        result.problem = CharsetProblem::NoCharacters;
    for (const char32_t c : chars)
        result.charset.entries.push_back({c, true, -1});
    result.charset.description =
        QStringLiteral("%1 distinct characters in code-point order").arg(chars.size());
    return result;
}

} // namespace zentraq::glyph

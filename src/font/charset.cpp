#include "charset.h"

#include "charsets.h"
#include "fonterror.h"
#include "writer.h"

#include <QChar>
#include <QStringList>

#include <algorithm>

namespace zentraq::font {
namespace {

std::optional<char32_t> parseCode(QStringView text) {
    text = text.trimmed();
    bool ok = false;
    qulonglong value = 0;
    if (text.startsWith(u"0x", Qt::CaseInsensitive)) {
        const QStringView digits = text.mid(2);
        if (digits.isEmpty() || digits.startsWith(u'+') || digits.startsWith(u'-'))
            return std::nullopt;
        value = digits.toULongLong(&ok, 16);
    } else {
        if (text.isEmpty() || !text.front().isDigit())
            return std::nullopt;
        value = text.toULongLong(&ok, 10);
    }
    if (!ok)
        return std::nullopt;
    if (value > 0xFFFFFFFFull)
        value = 0xFFFFFFFFull; // reported as beyond U+10FFFF
    return static_cast<char32_t>(value);
}

QString codeText(char32_t cp) {
    return QStringLiteral("0x") + QString::number(static_cast<uint>(cp), 16).toUpper();
}

} // namespace

std::optional<std::vector<CodeChoice>> parseCodeChoices(QStringView text, QString* problem) {
    std::vector<CodeChoice> out;
    const auto fail = [&](const QString& why) -> std::optional<std::vector<CodeChoice>> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    for (QStringView piece : text.split(u',')) {
        const qsizetype arrow = piece.indexOf(u"=>");
        const QStringView from = arrow < 0 ? piece : piece.left(arrow);
        const qsizetype dash = from.indexOf(u'-');
        const std::optional<char32_t> first = parseCode(dash < 0 ? from : from.left(dash));
        const std::optional<char32_t> last = dash < 0 ? first : parseCode(from.mid(dash + 1));
        const std::optional<char32_t> to = arrow < 0 ? first : parseCode(piece.mid(arrow + 2));
        if (!first || !last || !to)
            return fail(QStringLiteral("'%1' is not a code (0x4E00, 65) or a range of codes "
                                       "(0x20-0x7E)%2")
                            .arg(piece.trimmed(),
                                 arrow < 0 ? QString()
                                           : QStringLiteral(" moved to a code (0xF001=>0xE000)")));
        if (*first > LastCodePoint || *last > LastCodePoint || *to > LastCodePoint)
            return fail(QStringLiteral("'%1' reaches beyond U+10FFFF, the last code point")
                            .arg(piece.trimmed()));
        if (*first > *last)
            return fail(QStringLiteral("the range '%1' runs backwards (%2 is above %3)")
                            .arg(piece.trimmed(), codeText(*first), codeText(*last)));
        const char32_t end = *to + (*last - *first); // (at most 2 * 0x10FFFF)
        if (end > LastCodePoint)
            return fail(QStringLiteral("'%1' moves codes beyond U+10FFFF, the last code point "
                                       "(up to %2)")
                            .arg(piece.trimmed(), codeText(end)));
        if (*to != *first && *to <= 0xDFFF && end >= 0xD800)
            return fail(QStringLiteral("'%1' moves codes onto the surrogates U+D800-U+DFFF, "
                                       "which are no characters")
                            .arg(piece.trimmed()));
        out.push_back({{*first, *last}, *to});
    }
    return out;
}

void CharacterSet::addRange(CodeRange range) {
    range.last = std::min(range.last, LastCodePoint);
    if (range.first > range.last)
        return;
    // Split around the surrogates.
    if (range.first < 0xD800 && range.last >= 0xD800) {
        m_ranges.emplace_back(range.first, 0xD7FF);
        range.first = 0xD800;
    }
    if (range.first >= 0xD800 && range.first <= 0xDFFF)
        range.first = 0xE000;
    if (range.first <= range.last)
        m_ranges.emplace_back(range.first, range.last);
}

void CharacterSet::addText(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        if (QChar::category(cp) != QChar::Other_Control)
            add(cp);
    }
}

void CharacterSet::addCodes(const std::vector<char32_t>& codes) {
    for (const char32_t cp : codes)
        add(cp);
}

bool CharacterSet::empty() const {
    return m_ranges.empty();
}

std::vector<char32_t> CharacterSet::characters() const {
    std::vector<std::pair<char32_t, char32_t>> ranges = m_ranges;
    std::sort(ranges.begin(), ranges.end());
    std::vector<char32_t> out;
    char32_t next = 0; // the first code not yet given out
    bool any = false;
    for (const auto& [first, last] : ranges) {
        for (char32_t cp = (any && first < next) ? next : first; cp <= last; ++cp)
            out.push_back(cp);
        if (!any || last + 1 > next)
            next = last + 1;
        any = true;
    }
    return out;
}

std::vector<char32_t> charsetCharacters(const QString& c, const SourceFiles& files) {
    glyph::CharsetResult result;
    if (glyph::charsetNames().contains(c)) {
        result = glyph::namedCharset(c);
    } else if (files.exists(c)) {
        result = glyph::textCharset(files.read(c));
        if (result.problem == glyph::CharsetProblem::NotUtf8)
            fontFailure(QStringLiteral("charset file '%1' is not UTF-8 text").arg(files.shown(c)));
    } else {
        requestError(
            QStringLiteral("--charset wants %1 or a charset file; '%2' is neither")
                .arg(core::listed(glyph::charsetNames(), QStringLiteral(" or ")), files.shown(c)));
    }
    if (result.problem == glyph::CharsetProblem::NoConverter)
        fontFailure(QStringLiteral("this system cannot decode %1 codes").arg(c));
    return result.charset.characters();
}

} // namespace zentraq::font

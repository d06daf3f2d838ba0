#include "numbertext.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace zentraq {
namespace {

// Drops trailing zeros of a fractional part, and the point if nothing is left
// after it.
std::string_view trimFraction(std::string_view digits) {
    if (digits.find('.') == std::string_view::npos)
        return digits;
    while (digits.back() == '0')
        digits.remove_suffix(1);
    if (digits.back() == '.')
        digits.remove_suffix(1);
    return digits;
}

// `value` rounded to `significant` digits. The decimal exponent is taken after
// rounding, so 9999999.6 with 7 digits becomes "1E+07", not "10000000".
// std::to_chars is used because it ignores the C locale, which the GUI
// application sets from the environment (a decimal comma would otherwise
// appear in some locales).
QString defaultText(double value, int significant) {
    if (value == 0)
        return QStringLiteral("0"); // also for -0
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");

    char sci[64];
    const auto s = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific,
                                 significant - 1);
    const std::string_view scientific(sci, static_cast<std::size_t>(s.ptr - sci));
    const std::size_t e = scientific.find('e');
    const int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());

    if (exponent >= significant || exponent < -4) {
        QString text = QString::fromLatin1(trimFraction(scientific.substr(0, e)));
        text += QLatin1Char('E');
        text += exponent < 0 ? QLatin1Char('-') : QLatin1Char('+');
        text += QStringLiteral("%1").arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
        return text;
    }

    char fix[64];
    const int decimals = significant - 1 - exponent;
    const auto f = std::to_chars(fix, fix + sizeof fix, value, std::chars_format::fixed, decimals);
    return QString::fromLatin1(trimFraction(std::string_view(fix, static_cast<std::size_t>(f.ptr - fix))));
}

} // namespace

QString SingleText(float value) {
    return defaultText(static_cast<double>(value), 7);
}

QString DoubleText(double value) {
    return defaultText(value, 15);
}

} // namespace zentraq

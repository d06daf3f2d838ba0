#include "numbertext.h"

#include <cmath>
#include <cstdint>

namespace zentraq {
namespace {

// Whether `value` lies exactly halfway between two numbers of `significant`
// digits, the lower of which (in magnitude) ends in an even digit: its exact
// decimal form has significant + 1 digits, the last a 5 after an even one.
// Worked out on the binary form: value = m * 2^e with m odd, so a tie
// D * 10^k (D odd, significant + 1 digits) needs k = e and D = m * 5^-e for
// e < 0, or D = m / 5^e for e >= 0.
bool isHalfwayAboveEven(double value, int significant) {
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);
    auto m = static_cast<std::int64_t>(std::ldexp(fraction, 53)); // exact: 53 bits
    int e = exponent - 53;
    while ((m & 1) == 0) {
        m >>= 1;
        ++e;
    }
    std::int64_t low = 1;
    for (int i = 0; i < significant; ++i)
        low *= 10; // 10^significant, the smallest number of significant + 1 digits
    const std::int64_t high = low * 10;
    std::int64_t d = m;
    for (; e > 0; --e) {
        if (d % 5 != 0)
            return false;
        d /= 5;
    }
    for (; e < 0 && d < high; ++e)
        d *= 5; // stays below 5 * 10^(significant + 1): no overflow
    return e == 0 && d >= low && d < high && d % 10 == 5 && (d / 10) % 2 == 0;
}

// `value` rounded to `significant` digits, in the 'G' form of QString::number:
// plain for decimal exponents from -4 to significant - 1 (taken after
// rounding, so 9999999.6 with 7 digits becomes "1E+07"), else exponent form
// with at least two exponent digits; trailing zeros dropped. QString::number
// ignores the locale, so no decimal comma appears whatever the environment.
//
// A value exactly halfway between two candidates goes to the one with an
// even last digit, where QString::number rounds away from zero: when that is
// the wrong way, the number next to it towards zero is written instead. Zero,
// NaN and the infinities keep the program's own spellings.
QString defaultText(double value, int significant) {
    if (value == 0)
        return QStringLiteral("0"); // also for -0
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");
    if (isHalfwayAboveEven(value, significant))
        value = std::nextafter(value, 0.0);
    return QString::number(value, 'G', significant);
}

} // namespace

QString SingleText(float value) {
    return defaultText(static_cast<double>(value), 7);
}

QString DoubleText(double value) {
    return defaultText(value, 15);
}

} // namespace zentraq

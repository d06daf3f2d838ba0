#pragma once

// Numbers as text in the program's default form, the form in which its
// captions and messages show sizes and byte counts: no leading space, whole
// numbers without a fractional part, at most 7 significant digits for single
// precision (15 for double), and exponent form ("2.4E+07", "1E-05") for
// magnitudes from 10^7 (10^15 for double) up and below 10^-4.

#include <QString>

namespace zentraq {

QString SingleText(float value);
QString DoubleText(double value);

} // namespace zentraq

#include "numbertext.h"

#include <QtTest>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace zentraq;

namespace {

// The default number form worked out digit by digit with std::to_chars, a
// method independent of the program's: `value` rounded to `significant`
// digits in scientific form, then written plainly when its exponent (taken
// after rounding) is from -4 to significant - 1, with trailing zeros of the
// fraction dropped; otherwise as mantissa, "E", sign and an exponent of at
// least two digits.
QString referenceText(double value, int significant) {
    char sci[64];
    const auto s =
        std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, significant - 1);
    const std::string scientific(sci, s.ptr);
    const std::size_t e = scientific.find('e');
    const int exponent = std::atoi(scientific.c_str() + e + 1);
    auto trim = [](std::string digits) {
        if (digits.find('.') != std::string::npos) {
            while (digits.back() == '0')
                digits.pop_back();
            if (digits.back() == '.')
                digits.pop_back();
        }
        return digits;
    };
    if (exponent >= significant || exponent < -4) {
        char exp[16];
        std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return QString::fromStdString(trim(scientific.substr(0, e)) + exp);
    }
    char fix[400];
    const auto f = std::to_chars(fix, fix + sizeof fix, value, std::chars_format::fixed,
                                 significant - 1 - exponent);
    return QString::fromStdString(trim(std::string(fix, f.ptr)));
}

} // namespace

class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void text_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("single"); // SingleText of the value as float, else DoubleText
        QTest::addColumn<QString>("text");

        QTest::newRow("negative zero") << -0.0 << true << "0";
        QTest::newRow("largest plain") << 9999999.0 << true << "9999999";
        QTest::newRow("3.357082E+07") << 33570816.0 << true << "3.357082E+07";
        QTest::newRow("rounding carries into the exponent") << 99999998000.0 << true << "1E+11";
        QTest::newRow("byte count past single precision") << 2147483646.0 << false << "2147483646";
        QTest::newRow("double exponent form") << 1e15 << false << "1E+15";
        // Exactly halfway: to the even digit (QString::number alone rounds
        // away from zero).
        QTest::newRow("halfway, down to even") << 2.1640625 << true << "2.164062";
        QTest::newRow("halfway, negative") << -2.1640625 << true << "-2.164062";
        QTest::newRow("halfway in exponent form") << 10180885.0 << true << "1.018088E+07";
        QTest::newRow("halfway, up to even") << 10180895.0 << true << "1.01809E+07";
        QTest::newRow("not a number") << std::nan("") << true << "NaN";
        QTest::newRow("minus infinity") << -HUGE_VAL << false << "-Infinity";
    }
    void text() {
        QFETCH(double, value);
        QFETCH(bool, single);
        QTEST(single ? SingleText(static_cast<float>(value)) : DoubleText(value), "text");
    }

    // Every 1021st bit pattern of single precision, about 4.2 million values
    // from the smallest subnormal to the largest finite float of either sign,
    // reads the same as the digit-by-digit form.
    void singleAcrossTheRange() {
        int compared = 0;
        for (std::uint64_t bits = 1; bits < (std::uint64_t(1) << 32); bits += 1021) {
            const float f = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
            if (!std::isfinite(f) || f == 0)
                continue;
            const QString text = SingleText(f);
            if (text != referenceText(f, 7))
                QFAIL(qPrintable(QStringLiteral("%1 (bits %2): %3, expected %4")
                                     .arg(static_cast<double>(f), 0, 'g', 9)
                                     .arg(bits, 8, 16, QLatin1Char('0'))
                                     .arg(text, referenceText(f, 7))));
            ++compared;
        }
        QVERIFY(compared > 4000000);
    }

    // A million double-precision values spread over the whole range.
    void doubleAcrossTheRange() {
        std::uint64_t bits = 0x9E3779B97F4A7C15ull;
        int compared = 0;
        for (int i = 0; i < 1000000; ++i) {
            bits = bits * 6364136223846793005ull + 1442695040888963407ull;
            const double d = std::bit_cast<double>(bits);
            if (!std::isfinite(d) || d == 0)
                continue;
            if (DoubleText(d) != referenceText(d, 15))
                QFAIL(qPrintable(QStringLiteral("%1: %2, expected %3")
                                     .arg(d, 0, 'g', 17)
                                     .arg(DoubleText(d), referenceText(d, 15))));
            ++compared;
        }
        QVERIFY(compared > 990000);
    }
};

QTEST_APPLESS_MAIN(TestNumberText)
#include "test_numbertext.moc"

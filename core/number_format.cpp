#include "core/number_format.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace kalibron {

namespace {

// A non-negative decimal number: 0.d1 d2 d3 ... times 10^pointPos. The first
// digit is nonzero unless the number is 0 (then digits may be empty).
struct Decimal {
    std::string digits;
    int pointPos = 0;

    bool isZero() const { return digits.find_first_not_of('0') == std::string::npos; }
    char digit(int i) const
    {
        return i >= 0 && i < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(i)] : '0';
    }
};

// Splits the scientific form "d.ddde+XX" that std::to_chars writes.
Decimal fromScientific(const char* first, const char* last)
{
    Decimal d;
    const char* p = first;
    for (; p != last && *p != 'e'; ++p)
        if (*p != '.')
            d.digits.push_back(*p);
    int exponent = 0;
    if (p != last)
        std::from_chars(p + (p[1] == '+' ? 2 : 1), last, exponent);
    d.pointPos = exponent + 1;
    return d;
}

// The digits of |value| as the shortest decimal text that reads back as the
// same double. Rounding works on these digits, not on the binary expansion,
// so that a value typed as 0.125 or 1.005 rounds the way its reader expects
// (0.13 and 1.01), although the nearest doubles lie just below those halves.
Decimal shortestDecimal(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
    return fromScientific(buffer, result.ptr);
}

// Keeps the first `keep` digits, rounding the rest off with halves away from zero.
void roundToDigits(Decimal& d, int keep)
{
    if (keep >= static_cast<int>(d.digits.size()))
        return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(keep));
    if (!up)
        return;
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9')
        d.digits[static_cast<std::size_t>(i--)] = '0';
    if (i < 0) {
        d.digits.insert(d.digits.begin(), '1');
        ++d.pointPos;
    } else {
        ++d.digits[static_cast<std::size_t>(i)];
    }
}

std::string integerPart(const Decimal& d, const std::string& groupSeparator)
{
    if (d.pointPos <= 0 || d.isZero())
        return "0";
    std::string out;
    for (int i = 0; i < d.pointPos; ++i) {
        if (!groupSeparator.empty() && i > 0 && (d.pointPos - i) % 3 == 0)
            out += groupSeparator;
        out.push_back(d.digit(i));
    }
    return out;
}

std::string withSign(bool negative, std::string text) { return negative ? "-" + text : text; }

std::string exponentText(int exponent, bool alwaysSign, int minDigits)
{
    std::string digits = std::to_string(std::abs(exponent));
    if (static_cast<int>(digits.size()) < minDigits)
        digits.insert(0, static_cast<std::size_t>(minDigits) - digits.size(), '0');
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about
    // the concatenation "E" + sign + digits.
    std::string text(1, 'E');
    if (exponent < 0)
        text += '-';
    else if (alwaysSign)
        text += '+';
    text += digits;
    return text;
}

std::string formatFixed(double value, int decimals, const NumberLocale& locale)
{
    Decimal d = shortestDecimal(value);
    if (value == 0)
        d = Decimal{};
    roundToDigits(d, d.pointPos + decimals);
    std::string text = integerPart(d, std::string());
    if (decimals > 0) {
        text += locale.decimalPoint;
        for (int f = 0; f < decimals; ++f)
            text.push_back(d.digit(d.pointPos + f));
    }
    return withSign(value < 0 && !d.isZero(), std::move(text));
}

std::string formatGrouped(double value, const NumberLocale& locale)
{
    Decimal d = shortestDecimal(value);
    roundToDigits(d, d.pointPos);
    if (value == 0 || d.isZero() || d.pointPos <= 0)
        return std::string();
    return withSign(value < 0, integerPart(d, locale.groupSeparator));
}

std::string formatScientific(double value, int decimals, bool alwaysSign, int exponentDigits,
                             const NumberLocale& locale)
{
    Decimal d;
    if (value != 0) {
        d = shortestDecimal(value);
        roundToDigits(d, 1 + decimals);
    }
    const bool zero = value == 0;
    std::string text(1, zero ? '0' : d.digit(0));
    if (decimals > 0) {
        text += locale.decimalPoint;
        for (int f = 1; f <= decimals; ++f)
            text.push_back(zero ? '0' : d.digit(f));
    }
    text += exponentText(zero ? 0 : d.pointPos - 1, alwaysSign, exponentDigits);
    return withSign(value < 0, std::move(text));
}

// The shape of a pattern of the form 0[.000][E-00]; nullopt for others.
struct NumericPattern {
    int decimals = 0;
    bool scientific = false;
    bool exponentAlwaysSigned = false;
    int exponentDigits = 0;
};

std::optional<NumericPattern> parseNumericPattern(std::string_view pattern)
{
    NumericPattern shape;
    std::size_t i = 0;
    if (pattern.empty() || pattern[i++] != '0')
        return std::nullopt;
    if (i < pattern.size() && pattern[i] == '.') {
        ++i;
        while (i < pattern.size() && pattern[i] == '0') {
            ++i;
            ++shape.decimals;
        }
        if (shape.decimals == 0)
            return std::nullopt;
    }
    if (i < pattern.size() && (pattern[i] == 'E' || pattern[i] == 'e')) {
        ++i;
        if (i >= pattern.size() || (pattern[i] != '-' && pattern[i] != '+'))
            return std::nullopt;
        shape.scientific = true;
        shape.exponentAlwaysSigned = pattern[i++] == '+';
        while (i < pattern.size() && pattern[i] == '0') {
            ++i;
            ++shape.exponentDigits;
        }
        if (shape.exponentDigits == 0)
            return std::nullopt;
    }
    // Beyond 17 decimals a double has no digits left to show.
    if (i != pattern.size() || shape.decimals > 17)
        return std::nullopt;
    return shape;
}

constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                               "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                               "8081828384858687888990919293949596979899";

// x·y as an unevaluated sum hi + lo, exactly (no overflow or underflow here).
void exactProduct(double x, double y, double& hi, double& lo)
{
    hi = x * y;
#ifdef FP_FAST_FMA
    lo = std::fma(x, y, -hi);
#else
    // Dekker: each factor split into halves of 26 bits, whose products are exact.
    const auto split = [](double a, double& high, double& low) {
        const double t = 134217729.0 * a; // 2^27 + 1
        high = t - (t - a);
        low = a - high;
    };
    double xh = 0, xl = 0, yh = 0, yl = 0;
    split(x, xh, xl);
    split(y, yh, yl);
    lo = ((xh * yh - hi) + xh * yl + xl * yh) + xl * yl;
#endif
}

// The 15 significant digits of `magnitude` (> 0), correctly rounded with
// halves to even as printf rounds, and its decimal exponent, for magnitudes
// from 1e-8 to below 1e15, the range of nearly every number a table holds.
// There the magnitude times a power of ten of at most 10^22 (exact as a
// double) is exact as a pair of doubles, so the rounding to an integer of
// 15 digits is decided on the exact value. False outside that range.
bool fifteenDigitsExactly(double magnitude, char (&digits)[15], int& exponent)
{
    static constexpr double kPowers[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                           1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    // Both the exact product and the rounding below need every operation
    // rounded to double, not to a wider format.
    if (FLT_EVAL_METHOD != 0 || !(magnitude >= 1e-8 && magnitude < 1e15))
        return false;
    // floor(log10(magnitude)) or one less, from the binary exponent (a
    // normal number here); corrected below on the exact product.
    const int binary = static_cast<int>((std::bit_cast<std::uint64_t>(magnitude) >> 52) & 0x7ff) - 1023;
    int scale = 14 - ((binary * 78913) >> 18);
    double hi = 0, lo = 0;
    for (;;) {
        if (scale < 0 || scale > 22)
            return false;
        exactProduct(magnitude, kPowers[scale], hi, lo);
        if (hi < 1e14 || (hi == 1e14 && lo < 0))
            ++scale;
        else if (hi > 1e15 || (hi == 1e15 && lo >= 0))
            --scale;
        else
            break;
    }
    // hi + lo lies in [1e14, 1e15); hi < 2^50, so hi - n is exact and
    // |lo| is below a sixteenth: only a hi halfway between integers needs lo.
    // Adding and taking away 2^52 rounds to an integer, halves to even.
    double n = (hi + 0x1p52) - 0x1p52;
    const double rest = hi - n;
    if (rest == 0.5 && lo > 0)
        n += 1;
    else if (rest == -0.5 && lo < 0)
        n -= 1;
    exponent = 14 - scale;
    auto integer = static_cast<std::uint64_t>(n);
    if (integer == 1'000'000'000'000'000) { // rounded up into the next power of ten
        integer /= 10;
        ++exponent;
    }
    // Two digits at a time, from the right: 7 digits, then 8.
    const auto putPairs = [&digits](int end, std::uint32_t group, int pairs) {
        for (int i = 0; i < pairs; ++i, group /= 100, end -= 2)
            std::memcpy(digits + end - 2, kDigitPairs + 2 * (group % 100), 2);
        return group;
    };
    putPairs(15, static_cast<std::uint32_t>(integer % 100'000'000), 4);
    digits[0] = static_cast<char>('0' + putPairs(7, static_cast<std::uint32_t>(integer / 100'000'000), 3));
    return true;
}

// The same from the library's general conversion, for any finite magnitude.
void fifteenDigitsByLibrary(double magnitude, char (&digits)[15], int& exponent)
{
    // "d.dddddddddddddde±XX" or "...e±XXX".
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 14);
    int count = 0;
    const char* p = buffer;
    for (; p != written.ptr && *p != 'e'; ++p)
        if (*p != '.')
            digits[count++] = *p;
    // The exponent, read by hand: far cheaper than a general parser.
    exponent = 0;
    for (const char* e = p + 2; e < written.ptr; ++e)
        exponent = exponent * 10 + (*e - '0');
    if (p[1] == '-')
        exponent = -exponent;
}

} // namespace

std::string formatGeneral(double value, const NumberLocale& locale)
{
    std::string text;
    appendGeneral(text, value, locale);
    return text;
}

void appendGeneral(std::string& out, double value, const NumberLocale& locale)
{
    if (!std::isfinite(value))
        return;
    if (value == 0) {
        out.push_back('0'); // also for -0
        return;
    }
    // 15 significant digits, correctly rounded, and the decimal exponent.
    char digits[15];
    int exponent = 0;
    if (!fifteenDigitsExactly(std::fabs(value), digits, exponent))
        fifteenDigitsByLibrary(std::fabs(value), digits, exponent);
    int count = 15;
    while (count > 1 && digits[count - 1] == '0')
        --count;

    // The text is laid out with '.' for the separator, then appended with
    // the locale's, which may be longer than one byte.
    char text[40];
    char* p = text;
    char* point = nullptr;
    const auto put = [&p](const char* from, int n) {
        std::memcpy(p, from, static_cast<std::size_t>(n));
        p += n;
    };
    if (value < 0)
        *p++ = '-';
    if (exponent >= 15 || exponent < -5) {
        *p++ = digits[0];
        if (count > 1) {
            point = p++;
            put(digits + 1, count - 1);
        }
        *p++ = 'E';
        *p++ = exponent < 0 ? '-' : '+';
        const int magnitude = std::abs(exponent);
        if (magnitude < 10)
            *p++ = '0';
        p = std::to_chars(p, text + sizeof text, magnitude).ptr;
    } else if (exponent >= 0) {
        const int integerDigits = exponent + 1;
        put(digits, std::min(count, integerDigits));
        for (int i = count; i < integerDigits; ++i)
            *p++ = '0';
        if (count > integerDigits) {
            point = p++;
            put(digits + integerDigits, count - integerDigits);
        }
    } else {
        *p++ = '0';
        point = p++;
        for (int i = -exponent - 1; i > 0; --i)
            *p++ = '0';
        put(digits, count);
    }
    if (point == nullptr || locale.decimalPoint == ".") {
        if (point != nullptr)
            *point = '.';
        out.append(text, p);
        return;
    }
    out.append(text, point);
    out += locale.decimalPoint;
    out.append(point + 1, p);
}

std::string formatPattern(double value, std::string_view pattern, const NumberLocale& locale)
{
    if (!std::isfinite(value))
        return std::string();
    if (pattern == "###,###")
        return formatGrouped(value, locale);
    const std::optional<NumericPattern> shape = parseNumericPattern(pattern);
    if (!shape)
        return formatGeneral(value, locale);
    if (shape->scientific)
        return formatScientific(value, shape->decimals, shape->exponentAlwaysSigned, shape->exponentDigits, locale);
    return formatFixed(value, shape->decimals, locale);
}

} // namespace kalibron

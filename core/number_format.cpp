#include "core/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
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
    // "d.dddddddddddddde±XX": 15 significant digits, correctly rounded.
    char buffer[32];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 14);
    char digits[15];
    int count = 0;
    const char* p = buffer;
    for (; p != written.ptr && *p != 'e'; ++p)
        if (*p != '.')
            digits[count++] = *p;
    // "e±XX" or "e±XXX": read by hand, far cheaper than a general parser.
    int exponent = 0;
    for (const char* e = p + 2; e < written.ptr; ++e)
        exponent = exponent * 10 + (*e - '0');
    if (p[1] == '-')
        exponent = -exponent;
    while (count > 1 && digits[count - 1] == '0')
        --count;

    if (value < 0)
        out.push_back('-');
    if (exponent >= 15 || exponent < -5) {
        out.push_back(digits[0]);
        if (count > 1) {
            out += locale.decimalPoint;
            out.append(digits + 1, static_cast<std::size_t>(count - 1));
        }
        out.push_back('E');
        out.push_back(exponent < 0 ? '-' : '+');
        const int magnitude = std::abs(exponent);
        if (magnitude < 10)
            out.push_back('0');
        char exponentDigits[8];
        const auto end = std::to_chars(exponentDigits, exponentDigits + sizeof exponentDigits, magnitude);
        out.append(exponentDigits, end.ptr);
    } else if (exponent >= 0) {
        const int integerDigits = exponent + 1;
        for (int i = 0; i < integerDigits; ++i)
            out.push_back(i < count ? digits[i] : '0');
        if (count > integerDigits) {
            out += locale.decimalPoint;
            out.append(digits + integerDigits, static_cast<std::size_t>(count - integerDigits));
        }
    } else {
        out.push_back('0');
        out += locale.decimalPoint;
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out.append(digits, static_cast<std::size_t>(count));
    }
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

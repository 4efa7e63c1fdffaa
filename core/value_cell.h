#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kalibron {

// Numeric value of a text, read the way the data store reads texts: the
// leading decimal number ("." as decimal separator, optional sign, digits,
// optional "." and fraction, optional exponent introduced by E or D), with
// blanks (spaces, tabs, line feeds, carriage returns) skipped anywhere, also
// inside the number ("1 2.5" reads 12.5). Reading stops at the first other
// character. 0 when the text does not begin with a number. Never inf or nan:
// a number beyond the range of a double ("1E999") reads 0, one too small to
// hold ("1E-999") reads 0 as well.
double leadingNumber(std::string_view text);

// Value of a text that is exactly one decimal number: optional blanks (spaces,
// tabs, line feeds, carriage returns), optional sign, digits with an optional
// "." and fraction (at least one digit in all, "5." and ".5" count), an
// optional exponent "E"/"e" with optional sign and at least one digit, optional
// blanks. nullopt for anything else: the empty text, letters, inner blanks,
// "inf", "nan", and numbers beyond the range of a double. A number too small
// to hold reads 0. Negative zero reads 0.
std::optional<double> parseDecimal(std::string_view text);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4),
// independent of the floating-point rounding mode. Non-finite values come
// back unchanged; -0 becomes 0.
double roundHalfEven(double value);

// Loosely typed value of the shared data store: Empty, a number or a text.
//  - present:  neither Empty nor the empty text;
//  - value():  the number, or the leading number of a text, 0 for Empty;
//  - positive: value() > 0.
class ValueCell {
public:
    enum class Kind : unsigned char { Empty, Number, Text };

    ValueCell() = default;
    ValueCell(double number) : m_kind(Kind::Number), m_number(number) {} // NOLINT: the store writes numbers
    static ValueCell fromText(std::string text);
    static ValueCell emptyText() { return fromText(std::string()); }

    Kind kind() const { return m_kind; }
    bool isEmpty() const { return m_kind == Kind::Empty; }
    bool isNumber() const { return m_kind == Kind::Number; }
    bool isText() const { return m_kind == Kind::Text; }

    bool present() const { return m_kind == Kind::Number || (m_kind == Kind::Text && !m_text.empty()); }
    double value() const { return m_number; } // cached for texts
    bool positive() const { return m_number > 0; }

    // The text held; empty for Empty and for numbers.
    const std::string& text() const { return m_text; }

    void clear() { *this = ValueCell(); }

    bool operator==(const ValueCell&) const = default;

private:
    Kind m_kind = Kind::Empty;
    double m_number = 0;
    std::string m_text;
};

} // namespace kalibron

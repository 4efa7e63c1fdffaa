#pragma once

#include <string>
#include <string_view>

namespace kalibron {

// Numeric value of a text, read the way the data store reads texts: the
// leading decimal number ("." as decimal separator, optional sign, optional
// exponent), blanks skipped; 0 when the text does not begin with a number.
double leadingNumber(std::string_view text);

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

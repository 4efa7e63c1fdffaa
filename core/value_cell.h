#pragma once

#include <cstdint>
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
    ValueCell(double number) : m_number(number), m_word(kNumberWord) {} // NOLINT: the store writes numbers
    static ValueCell fromText(std::string text);
    static ValueCell emptyText() { return fromText(std::string()); }

    ValueCell(const ValueCell& other);
    ValueCell(ValueCell&& other) noexcept : m_number(other.m_number), m_word(other.m_word) { other.m_word = 0; }
    ValueCell& operator=(const ValueCell& other);
    ValueCell& operator=(ValueCell&& other) noexcept;
    ~ValueCell() { release(); }

    Kind kind() const { return m_word == 0 ? Kind::Empty : m_word == kNumberWord ? Kind::Number : Kind::Text; }
    bool isEmpty() const { return m_word == 0; }
    bool isNumber() const { return m_word == kNumberWord; }
    bool isText() const { return m_word >= kEmptyTextWord; }

    bool present() const { return m_word == kNumberWord || m_word > kEmptyTextWord; }
    double value() const { return m_number; } // cached for texts
    bool positive() const { return m_number > 0; }

    // The text held; empty for Empty and for numbers.
    const std::string& text() const;

    void clear() { *this = ValueCell(); }

    bool operator==(const ValueCell& other) const;

private:
    // A store holds four arrays of these over every position, so a cell is
    // kept to two words: the number and one word that is the kind or, for a
    // text that is not empty, the address of the text it owns (heap
    // addresses are aligned and never this small).
    static constexpr std::uintptr_t kNumberWord = 1;
    static constexpr std::uintptr_t kEmptyTextWord = 2;

    const std::string* ownedText() const
    {
        return m_word > kEmptyTextWord ? reinterpret_cast<const std::string*>(m_word) : nullptr;
    }
    void release();

    double m_number = 0;
    std::uintptr_t m_word = 0; // 0: Empty
};

static_assert(sizeof(ValueCell) == 16);

} // namespace kalibron

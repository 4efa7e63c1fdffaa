#include "core/value_cell.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>
#include <utility>

namespace kalibron {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the longest decimal number at the start of `text` (no blanks
// inside): [sign] digits [. digits] [exponent], at least one mantissa digit.
// An exponent letter without digits behind it is not part of the number, so
// "1E" reads as "1". 0 when the text does not start with a number.
std::size_t numberPrefixLength(std::string_view text, bool allowDExponent)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    const std::size_t mantissaEnd = i;
    if (i < n) {
        const char e = text[i];
        const bool exponentLetter = e == 'e' || e == 'E' || (allowDExponent && (e == 'd' || e == 'D'));
        if (exponentLetter) {
            std::size_t j = i + 1;
            if (j < n && (text[j] == '+' || text[j] == '-'))
                ++j;
            if (j < n && isDigit(text[j])) {
                while (j < n && isDigit(text[j]))
                    ++j;
                return j;
            }
        }
    }
    return mantissaEnd;
}

// Whether a number that std::from_chars found out of range is too large
// (rather than too small): its decimal order, the place of its first nonzero
// digit shifted by the exponent, is positive.
bool orderIsPositive(std::string_view number)
{
    std::size_t i = 0;
    if (i < number.size() && (number[i] == '+' || number[i] == '-'))
        ++i;
    long order = 0;
    bool seenNonzero = false;
    bool afterPoint = false;
    for (; i < number.size(); ++i) {
        const char c = number[i];
        if (c == '.') {
            afterPoint = true;
            continue;
        }
        if (!isDigit(c))
            break;
        if (!seenNonzero && c != '0')
            seenNonzero = true;
        if (!afterPoint && seenNonzero)
            ++order;
        else if (afterPoint && !seenNonzero)
            --order;
    }
    long exponent = 0;
    bool negativeExponent = false;
    if (i < number.size()) {
        ++i; // exponent letter
        if (i < number.size() && (number[i] == '+' || number[i] == '-'))
            negativeExponent = number[i++] == '-';
        for (; i < number.size() && isDigit(number[i]); ++i)
            if (exponent < 100000000)
                exponent = exponent * 10 + (number[i] - '0');
    }
    return order + (negativeExponent ? -exponent : exponent) > 0;
}

// Converts a complete number as found by numberPrefixLength (exponent letter
// "e"/"E"). nullopt when it lies beyond the range of a double; a number too
// small to hold gives 0.
std::optional<double> convert(std::string_view number)
{
    std::string_view digits = number;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1); // from_chars takes no plus sign
    double value = 0;
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        if (orderIsPositive(number))
            return std::nullopt;
        return 0.0;
    }
    if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value))
        return std::nullopt;
    return value == 0 ? 0.0 : value;
}

} // namespace

double leadingNumber(std::string_view text)
{
    // Blanks count nowhere, not even inside the number, so gather the other
    // characters first. Only the head of the text can matter: stop copying at
    // the first character that can never belong to a number.
    std::string compact;
    for (const char c : text) {
        if (isBlank(c))
            continue;
        const bool numberChar =
            isDigit(c) || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E' || c == 'd' || c == 'D';
        if (!numberChar)
            break;
        compact.push_back(c == 'd' || c == 'D' ? 'e' : c);
    }
    const std::size_t length = numberPrefixLength(compact, false);
    if (length == 0)
        return 0;
    return convert(std::string_view(compact).substr(0, length)).value_or(0.0);
}

std::optional<double> parseDecimal(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    const std::size_t length = numberPrefixLength(text, false);
    if (length == 0 || length != text.size())
        return std::nullopt;
    return convert(text);
}

double roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    const double lower = std::floor(value);
    const double fraction = value - lower;
    double result;
    if (fraction > 0.5)
        result = lower + 1;
    else if (fraction < 0.5)
        result = lower;
    else
        result = std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
    return result == 0 ? 0.0 : result;
}

ValueCell ValueCell::fromText(std::string text)
{
    ValueCell cell;
    cell.m_number = leadingNumber(text);
    cell.m_word = text.empty() ? kEmptyTextWord : reinterpret_cast<std::uintptr_t>(new std::string(std::move(text)));
    return cell;
}

ValueCell::ValueCell(const ValueCell& other) : m_number(other.m_number), m_word(other.m_word)
{
    if (const std::string* text = other.ownedText())
        m_word = reinterpret_cast<std::uintptr_t>(new std::string(*text));
}

ValueCell& ValueCell::operator=(const ValueCell& other)
{
    if (this != &other) {
        ValueCell copy(other);
        *this = std::move(copy);
    }
    return *this;
}

ValueCell& ValueCell::operator=(ValueCell&& other) noexcept
{
    if (this != &other) {
        release();
        m_number = other.m_number;
        m_word = other.m_word;
        other.m_word = 0;
    }
    return *this;
}

void ValueCell::release()
{
    delete ownedText();
    m_word = 0;
}

const std::string& ValueCell::text() const
{
    static const std::string none;
    const std::string* text = ownedText();
    return text != nullptr ? *text : none;
}

bool ValueCell::operator==(const ValueCell& other) const
{
    return kind() == other.kind() && m_number == other.m_number && text() == other.text();
}

} // namespace kalibron

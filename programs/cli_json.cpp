#include "programs/cli_json.h"

#include <charconv>
#include <cmath>

namespace kalibron {

namespace {

// Length of the valid UTF-8 sequence at text[i], 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned int min = 0;
    unsigned int code = 0;
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        length = 2, min = 0x80, code = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0)
        length = 3, min = 0x800, code = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0)
        length = 4, min = 0x10000, code = lead & 0x07;
    else
        return 0;
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

void appendJsonNumber(std::string& json, double value)
{
    if (!std::isfinite(value)) {
        json += "null";
        return;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    json.append(buffer, result.ptr);
}

void appendJsonCell(std::string& json, const ValueCell& cell)
{
    // A result left Empty or as the empty text has no value.
    if (!cell.present())
        json += "null";
    else
        appendJsonNumber(json, cell.value());
}

void appendJsonString(std::string& json, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    json += '"';
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c == '\r') {
            json += "\\r";
        } else if (c < 0x20) {
            json += "\\u00";
            json += kHex[c >> 4];
            json += kHex[c & 15];
        } else if (c >= 0x80) {
            // A file name in a message may hold bytes that are not UTF-8;
            // JSON must be valid text, so such a byte becomes U+FFFD.
            const std::size_t length = utf8SequenceLength(text, i);
            if (length == 0) {
                json += "\xEF\xBF\xBD";
                ++i;
            } else {
                json.append(text.substr(i, length));
                i += length;
            }
            continue;
        } else {
            json += static_cast<char>(c);
        }
        ++i;
    }
    json += '"';
}

} // namespace kalibron

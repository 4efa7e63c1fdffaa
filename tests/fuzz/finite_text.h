#pragma once

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace kalibron::testing_support {

// Whether one number-like word is a spelling of a non-finite number: inf,
// infinity, nan, nan(...), and the Windows forms 1.#INF, 1.#IND, 1.#QNAN.
inline bool isNonFiniteWord(std::string word)
{
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
    while (!word.empty() && (word.front() == '+' || word.front() == '-'))
        word.erase(word.begin());
    return word == "inf" || word == "infinity" || word == "nan" || word.rfind("nan(", 0) == 0 ||
        word.find("#inf") != std::string::npos || word.find("#ind") != std::string::npos ||
        word.find("#qnan") != std::string::npos;
}

// Whether a text shows a non-finite number in one of its words.
inline bool showsNonFinite(std::string_view text)
{
    std::string word;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : ' ';
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '#' || c == '+' || c == '-' || c == '(' ||
            c == ')') {
            word += c;
        } else {
            if (isNonFiniteWord(word))
                return true;
            word.clear();
        }
    }
    return false;
}

// The first offending token of a JSON text, or "" when every number is
// finite, every string free of inf and nan, and no bare word other than true,
// false and null appears (a careless writer spells a non-finite number so).
inline std::string firstNonFiniteJson(std::string_view json)
{
    std::size_t i = 0;
    auto numberChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.';
    };
    while (i < json.size()) {
        const char c = json[i];
        if (c == '"') {
            std::string content;
            for (++i; i < json.size() && json[i] != '"'; ++i) {
                if (json[i] == '\\' && i + 1 < json.size())
                    ++i;
                content += json[i];
            }
            ++i;
            if (showsNonFinite(content))
                return "\"" + content + "\"";
        } else if (numberChar(c)) {
            const std::size_t start = i;
            while (i < json.size() && numberChar(json[i]))
                ++i;
            const std::string token(json.substr(start, i - start));
            if (token == "true" || token == "false" || token == "null")
                continue;
            char* end = nullptr;
            const double value = std::strtod(token.c_str(), &end);
            if (end != token.c_str() + token.size() || !std::isfinite(value))
                return token;
        } else {
            ++i;
        }
    }
    return "";
}

} // namespace kalibron::testing_support

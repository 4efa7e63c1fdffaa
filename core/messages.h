#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalibron {

enum class MessageIcon { None, Exclamation };

// A message the user must acknowledge. The core never opens a dialog: it hands
// the message to a sink, which the window turns into a modal box with an OK
// button and the command-line tool into a line on standard error.
struct Message {
    std::string text;
    // Box title; nullopt means the application's own title.
    std::optional<std::string> title = std::string();
    MessageIcon icon = MessageIcon::Exclamation;

    bool operator==(const Message&) const = default;
};

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void show(const Message& message) = 0;
};

// Keeps every message in order; used by tests and the command-line tool.
class CollectingMessageSink : public MessageSink {
public:
    void show(const Message& message) override { messages.push_back(message); }
    std::vector<Message> messages;
};

// Length in bytes of the UTF-8 sequence that starts text[pos] (1 to 4), or 0
// when no valid sequence starts there (a stray continuation byte, a cut or
// overlong sequence, a surrogate, a value above U+10FFFF).
inline std::size_t utf8SequenceLength(std::string_view text, std::size_t pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - pos < length || byte(pos + 1) < low || byte(pos + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF)
            return 0;
    return length;
}

inline bool isValidUtf8(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = utf8SequenceLength(text, pos);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

// Text from outside (a line of a file, a file name) as a message shows it.
// A damaged or hostile file may hold control bytes (NUL cuts a message box
// short, ESC drives the terminal of the command-line tool) and lines of many
// megabytes, so: control characters (C0, DEL, C1) and bytes that are not
// UTF-8 are shown as \xHH, and after `maxCharacters` characters the rest is
// left out and `ellipsis` says so. The result is always valid UTF-8.
inline std::string shownText(std::string_view text, std::size_t maxCharacters = 80,
                             std::string_view ellipsis = "\xE2\x80\xA6")
{
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown;
    std::size_t characters = 0;
    std::size_t pos = 0;
    for (; pos < text.size() && characters < maxCharacters; ++characters) {
        const std::size_t length = utf8SequenceLength(text, pos);
        const auto lead = static_cast<unsigned char>(text[pos]);
        const bool c1 = length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[pos + 1]) < 0xA0;
        if (length == 0 || lead < 0x20 || lead == 0x7F || c1) {
            for (std::size_t i = 0; i < std::max<std::size_t>(length, 1); ++i) {
                const auto byte = static_cast<unsigned char>(text[pos + i]);
                shown += "\\x";
                shown += kHex[byte >> 4];
                shown += kHex[byte & 0x0F];
            }
        } else {
            shown.append(text.substr(pos, length));
        }
        pos += std::max<std::size_t>(length, 1);
    }
    if (pos < text.size())
        shown.append(ellipsis);
    return shown;
}

} // namespace kalibron

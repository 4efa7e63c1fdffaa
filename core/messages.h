#pragma once

#include <optional>
#include <string>
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

} // namespace kalibron

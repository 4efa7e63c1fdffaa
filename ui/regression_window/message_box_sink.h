#pragma once

#include <functional>

#include "core/messages.h"

class QMessageBox;
class QWidget;

namespace kalibron {

// Shows a prepared message box; the default runs it modally. Tests replace it
// to read the box instead of waiting for a click.
using BoxRunner = std::function<void(QMessageBox&)>;
void runBoxModally(QMessageBox& box);

// Turns a message into a modal box with an OK button: exclamation icon or
// none, the message's title or, when it has none, the application's title.
class MessageBoxSink : public MessageSink {
public:
    explicit MessageBoxSink(QWidget* parent = nullptr, BoxRunner runner = runBoxModally);

    void show(const Message& message) override;
    void setRunner(BoxRunner runner) { m_runner = std::move(runner); }

private:
    QWidget* m_parent;
    BoxRunner m_runner;
};

} // namespace kalibron

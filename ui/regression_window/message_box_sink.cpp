#include "ui/regression_window/message_box_sink.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace kalibron {

void runBoxModally(QMessageBox& box) { box.exec(); }

MessageBoxSink::MessageBoxSink(QWidget* parent, BoxRunner runner) : m_parent(parent), m_runner(std::move(runner)) {}

void MessageBoxSink::show(const Message& message)
{
    const QString title =
        message.title ? QString::fromStdString(*message.title) : QGuiApplication::applicationDisplayName();
    QMessageBox box(message.icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    QString::fromStdString(message.text), QMessageBox::Ok, m_parent);
    if (m_runner)
        m_runner(box);
}

} // namespace kalibron

#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

namespace kalibron {

// What every window of the programs starts with: its control name, its
// caption and the small font (8 pt) its twips layout was made for.
inline void setUpWindowLook(QWidget& window, const char* objectName, const char* caption)
{
    window.setObjectName(QLatin1String(objectName));
    window.setWindowTitle(QLatin1String(caption));
    QFont small = window.font();
    small.setPointSize(8);
    window.setFont(small);
}

} // namespace kalibron

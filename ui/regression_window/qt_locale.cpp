#include "ui/regression_window/qt_locale.h"

#include <QLocale>

namespace kalibron {

NumberLocale numberLocaleFrom(const QLocale& locale)
{
    NumberLocale result;
    result.decimalPoint = locale.decimalPoint().toStdString();
    result.groupSeparator = locale.groupSeparator().toStdString();
    return result;
}

NumberLocale systemNumberLocale() { return numberLocaleFrom(QLocale::system()); }

} // namespace kalibron

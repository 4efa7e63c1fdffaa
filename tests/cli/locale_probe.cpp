// Prints the number separators as "<decimal point> <group separator>", for
// the process test to hold the tool's own reading of the C locale against
// Qt's:  locale_probe qt     Qt's system locale
//        locale_probe plain  the tool's reading without Qt, "-" when it would ask Qt
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "programs/tool_locale.h"
#include "ui/regression_window/qt_locale.h"

int main(int argc, char** argv)
{
    using namespace kalibron;
    if (argc == 2 && std::strcmp(argv[1], "qt") == 0) {
        const NumberLocale locale = systemNumberLocale();
        std::cout << locale.decimalPoint << ' ' << locale.groupSeparator << '\n';
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "plain") == 0) {
        const auto locale = cNumberLocaleNamed(std::getenv("LC_ALL"), std::getenv("LC_NUMERIC"), std::getenv("LANG"));
        std::cout << (locale ? locale->decimalPoint + ' ' + locale->groupSeparator : std::string("-")) << '\n';
        return 0;
    }
    std::cerr << "usage: locale_probe qt|plain\n";
    return 2;
}

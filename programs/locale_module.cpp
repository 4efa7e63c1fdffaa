// kalibron-locale.so: the user's number separators, loaded by the tool when
// the environment names a locale other than C.
#include "programs/locale_module.h"

#include <exception>
#include <type_traits>

#include "ui/regression_window/qt_locale.h"

extern "C" __attribute__((visibility("default"))) void
kalibron_number_locale(const char* toolVersion, kalibron::NumberLocale& locale, std::string& problem) noexcept
{
    static_assert(std::is_same_v<decltype(kalibron_number_locale), KalibronNumberLocale>);
    problem.clear();
    try {
        const std::string version = toolVersion != nullptr ? toolVersion : "";
        if (version != KALIBRON_VERSION) {
            problem = "the locale module is of version " KALIBRON_VERSION ", the tool of version " + version;
            return;
        }
        locale = kalibron::systemNumberLocale();
    } catch (const std::exception& e) {
        problem = e.what();
    }
}

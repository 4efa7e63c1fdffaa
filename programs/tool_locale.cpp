#include "programs/tool_locale.h"

#include <cstdlib>
#include <string_view>

#include "programs/locale_module.h"
#include "programs/tool_module.h"

namespace kalibron {

std::optional<NumberLocale> cNumberLocaleNamed(const char* lcAll, const char* lcNumeric, const char* lang)
{
    std::string_view name;
    for (const char* variable : {lcAll, lcNumeric, lang}) {
        if (variable != nullptr && *variable != '\0') {
            name = variable;
            break;
        }
    }
    if (name.empty() || name == "C" || name == "POSIX" || name.starts_with("C."))
        return NumberLocale{};
    return std::nullopt;
}

ToolLocale toolNumberLocale(const std::string& programFolder)
{
    ToolLocale result;
    if (const auto c = cNumberLocaleNamed(std::getenv("LC_ALL"), std::getenv("LC_NUMERIC"), std::getenv("LANG"))) {
        result.locale = *c;
        return result;
    }
    const ToolModuleEntry module = loadToolModule(programFolder, kLocaleModuleFile, kLocaleModuleEntry);
    std::string problem = module.problem;
    if (module.entry != nullptr)
        reinterpret_cast<KalibronNumberLocale*>(module.entry)(KALIBRON_VERSION, result.locale, problem);
    if (!problem.empty())
        result.problem = "cannot read the locale's number separators: " + problem;
    return result;
}

} // namespace kalibron

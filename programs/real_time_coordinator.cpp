#include "programs/real_time_coordinator.h"

#include <optional>

#include "analysis/calculation.h"
#include "analysis/interpolation.h"
#include "core/messages.h"
#include "core/store.h"
#include "ui/file_list_window/file_list_window.h"
#include "ui/regression_window/qt_locale.h"
#include "ui/regression_window/regression_window.h"

namespace kalibron {

RealTimeCoordinator::RealTimeCoordinator(Store& store, const ProgramProfile& profile)
    : m_store(store),
      m_profile(profile),
      m_fileList(std::make_unique<FileListWindow>(store, profile.fileListWindow)),
      m_regression(std::make_unique<RegressionWindow>(store, profile.regressionWindow))
{
    m_fileList->setInterpolateHandler([this] { interpolate(); });
    m_regression->setBackHandler([this] { backToFileList(); });
    // A new choice in "u of:" after a hand-back: the table gets the chosen
    // method's u (or loses the column) at once.
    m_fileList->setUncertaintyHandler([this] { handBack(); });
}

RealTimeCoordinator::~RealTimeCoordinator() = default;

void RealTimeCoordinator::interpolate()
{
    // Showing the regression window activates it, which recalculates.
    m_regression->show();
    m_regression->raise();
    m_fileList->hide();
}

void RealTimeCoordinator::backToFileList()
{
    m_fileList->show();
    m_fileList->raise();
    // The values written into the table must be those of the fits of the data
    // handed over. A window that does not recalculate when shown may still
    // hold the fits of an earlier hand-over (or of none), so calculate first;
    // on data already calculated this gives the same fits again.
    m_regression->A_PLOT();
    handBack();
}

void RealTimeCoordinator::handBack()
{
    const NumberLocale locale = systemNumberLocale();
    const UncertaintyChoice choice = m_fileList->uncertaintyChoice();
    // The regression window computes u only for what it shows; the fits of
    // its own settings, once more with u, give the chosen method's. The
    // window has already said what there was to say about these data.
    std::optional<CalculationResult> withU;
    if (choice != UncertaintyChoice::None) {
        RegressionSettings settings = m_regression->readSettings();
        settings.uncertainties = true;
        CollectingMessageSink alreadySaid;
        withU = calculateFits(m_store, settings, alreadySaid, locale, m_profile.regressionWindow.calculation);
    }
    BackToFileList(m_store, m_profile.fileListWindow.table, locale, choice, withU ? &withU->fits : nullptr);
    m_fileList->showHandBack();
}

} // namespace kalibron

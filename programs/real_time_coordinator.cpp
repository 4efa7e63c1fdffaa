#include "programs/real_time_coordinator.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QTimer>

#include <optional>

#include "analysis/calculation.h"
#include "analysis/interpolation.h"
#include "core/file_list_state.h"
#include "core/messages.h"
#include "core/store.h"
#include "ui/file_list_window/file_list_window.h"
#include "ui/regression_window/qt_locale.h"
#include "ui/regression_window/regression_window.h"

namespace kalibron {

namespace {

// Calls `handler` after each mouse release on the watched plot: a click
// there may have rejected or restored a point.
class ReleaseWatch : public QObject {
public:
    explicit ReleaseWatch(std::function<void()> handler) : m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease)
            m_handler();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_handler;
};

} // namespace

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
    m_fileList->setChangeHandler([this] { followResults(); });
    m_fileList->setSessionHooks([this](RunSession& session) { fillSession(session); },
                                [this](const RunSession& session) { applySession(session); });

    // The regression window's own changes (settings, rejections by a click on
    // the plot, Restore) reach the results and the session after its handler ran.
    const auto changed = [this] { regressionChanged(); };
    m_regressionWatch = std::make_unique<ReleaseWatch>(changed);
    if (QWidget* plot = m_regression->findChild<QWidget*>(QStringLiteral("pict1")))
        plot->installEventFilter(m_regressionWatch.get());
    for (QAbstractButton* button : m_regression->findChildren<QAbstractButton*>())
        QObject::connect(button, &QAbstractButton::clicked, m_regressionWatch.get(), changed);
    for (QComboBox* list : m_regression->findChildren<QComboBox*>())
        QObject::connect(list, &QComboBox::activated, m_regressionWatch.get(), changed);
}

RealTimeCoordinator::~RealTimeCoordinator() = default;

void RealTimeCoordinator::interpolate()
{
    m_interpolated = true;
    // Showing the regression window activates it, which recalculates.
    m_regression->show();
    m_regression->raise();
    if (m_restored) {
        // The first showing reset the degree and probability lists.
        m_regression->applySettings(m_restored->regression);
        m_regression->setProbabilityLevel(m_restored->probabilityLevel);
        m_regression->A_PLOT();
        m_restored.reset();
    }
    m_fileList->hide();
    m_fileList->saveSession();
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
    writeResults();
    m_fileList->showHandBack();
}

void RealTimeCoordinator::writeResults()
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
}

void RealTimeCoordinator::followResults()
{
    if (!m_interpolated || !m_fileList->following())
        return;
    CollectingMessageSink quiet;
    if (!Interpolate(m_store, m_profile.fileListWindow, quiet)) {
        // No result may stay that the table's data no longer give.
        clearResults(m_store.fileList, m_profile.fileListWindow.table);
        m_fileList->followedResults(
            false, QString::fromStdString(quiet.messages.empty() ? std::string() : quiet.messages[0].text));
        return;
    }
    MessageSink& before = m_regression->messageSink();
    m_regression->setMessageSink(&quiet);
    m_regression->A_PLOT();
    m_regression->setMessageSink(&before);
    writeResults();
    m_fileList->followedResults(
        true, QString::fromStdString(quiet.messages.empty() ? std::string() : quiet.messages.back().text));
}

void RealTimeCoordinator::regressionChanged()
{
    if (!m_fileList->following() || m_rerunQueued)
        return;
    // After the window's own handler, which may run after this one.
    m_rerunQueued = true;
    QTimer::singleShot(0, m_regressionWatch.get(), [this] {
        m_rerunQueued = false;
        followResults();
        m_fileList->showGrid();
        m_fileList->saveSession();
    });
}

void RealTimeCoordinator::fillSession(RunSession& session) const
{
    session.regression = m_restored ? m_restored->regression : m_regression->readSettings();
    const int level = m_restored ? m_restored->probabilityLevel : m_regression->probabilityLevel();
    session.probabilityLevel = level >= 1 && level <= 6 ? level : 3;
    session.interpolated = m_interpolated;
}

void RealTimeCoordinator::applySession(const RunSession& session)
{
    m_regression->applySettings(session.regression);
    m_regression->setProbabilityLevel(session.probabilityLevel);
    m_interpolated = session.interpolated;
    m_restored = session;
    if (m_interpolated)
        followResults();
}

} // namespace kalibron

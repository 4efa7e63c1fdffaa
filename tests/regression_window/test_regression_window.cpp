// The regression window driven through its controls, offscreen. Message
// boxes never open: the window's messages go to a collecting sink and its
// boxes to a runner that records them.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <variant>

#include "analysis/plot_scene.h"
#include "analysis/tick_labels.h"
#include "core/messages.h"
#include "core/store.h"
#include "core/student_table.h"
#include "core/table_import.h"
#include "programs/program_settings.h"
#include "ui/regression_window/compare_methods_dialog.h"
#include "ui/regression_window/message_box_sink.h"
#include "ui/regression_window/plot_widget.h"
#include "ui/regression_window/qt_locale.h"
#include "ui/regression_window/regression_window.h"
#include "ui/regression_window/scene_painter.h"
#include "ui/window_look.h"

using namespace kalibron;

namespace {

struct RecordedBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

bool near(double a, double b, double relative = 1e-9)
{
    return std::abs(a - b) <= relative * std::max({1.0, std::abs(a), std::abs(b)});
}

// A Polyline counts as the unit segments it stands for.
int countPlotSegments(const PlotScene& scene, const Rgb& colour)
{
    int n = 0;
    for (const Primitive& item : scene.items) {
        if (const auto* segment = std::get_if<Segment>(&item))
            n += segment->canvas == Canvas::Plot && segment->colour == colour ? 1 : 0;
        else if (const auto* line = std::get_if<Polyline>(&item);
                 line && line->canvas == Canvas::Plot && line->colour == colour && !line->ys.empty())
            n += static_cast<int>(line->ys.size()) - 1;
    }
    return n;
}

int countPlotBoxes(const PlotScene& scene, const Rgb& colour)
{
    return static_cast<int>(std::count_if(scene.items.begin(), scene.items.end(), [&](const Primitive& item) {
        const auto* box = std::get_if<Box>(&item);
        return box && box->canvas == Canvas::Plot && box->colour == colour;
    }));
}

// Whether `colour` is painted within a pixel of `where` (aliased lines may
// fall on either side of a fractional coordinate).
bool colourNear(const QImage& image, const QPointF& where, const QColor& colour)
{
    const QPoint centre(static_cast<int>(std::floor(where.x())), static_cast<int>(std::floor(where.y())));
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy) {
            const QPoint p = centre + QPoint(dx, dy);
            if (image.rect().contains(p) && image.pixelColor(p) == colour)
                return true;
        }
    return false;
}

// A smooth drift over 20 positions in runs of three (so the zigzag has
// clusters to join): 15 points, enough for a free degree of 10.
QString driftTable()
{
    QString text;
    for (int x = 1; x <= 20; ++x) {
        if (x % 4 == 0)
            continue;
        const double y = 1000 - 12.5 * x + 0.35 * x * x + 4 * std::sin(x * 0.9);
        text += QStringLiteral("%1\t%2\r\n").arg(x).arg(y, 0, 'f', 3);
    }
    return text;
}

// What the regression window shows and does differently in the two
// programs: one row per program, read by the data-driven tests below.
struct WindowDifferences {
    const char* program;
    ProgramProfile profile;
    QString aboutTitle;
    QStringList aboutLines; // the ten lines of the About box
    QString maximumCaption, dataCountCaption, copyCaption;
    bool showParameters = false;
    int xLabels = 0;
    bool recalculatesOnActivation = true;
    const char* exportReference;
};

const std::vector<WindowDifferences>& windowDifferences()
{
    static const std::vector<WindowDifferences> table = {
        {"Kalibron-01",
         kalibron01Profile(),
         QStringLiteral("KALIBRON"),
         {QStringLiteral("KALIBRON is a Windows program that calculates interpolated values for "
                         "standard-sample-standard sequences using different methods."),
          QString(), QStringLiteral("Input: paste a compact table from clipboard (2 or 3 columns, only numbers)."),
          QStringLiteral("First column: X, 2nd column: Y. If more columns are in the copied table then the 3rd "
                         "column is considered as Y_ERROR."),
          QString(), QStringLiteral("Mouse click on data point marks it for rejection."), QString(),
          QStringLiteral("[Plot and calculate] button refreshes the plot."), QString(),
          QStringLiteral("Output: copy to clipboard.")},
         QStringLiteral("Maximum:"),
         QStringLiteral("Number of data:"),
         QStringLiteral("Copy interpolated values to clipboard"),
         false,
         21,
         true,
         "export_start.txt"},
        {"Kalibron-He-VeviRavo-1",
         kalibronHeVeviRavo1Profile(),
         QStringLiteral("TALVERO"),
         {QStringLiteral("TALVERO is a Windows program that calculates interpolated values for standard-sample "
                         "bracketing using different methods."),
          QString(), QStringLiteral("Input: by paste of compacte tables from clipboard."),
          QStringLiteral("First column: X, 2nd column: Y. If more columns are in the copied table then the 3rd "
                         "column is considered as Y_ERROR."),
          QString(), QStringLiteral("[Plot and calculate] button refreshes the plot."), QString(),
          QStringLiteral("Mouse click on data point marks it for rejection."), QString(),
          QStringLiteral("Output: copy to clipboard.")},
         QStringLiteral("Max. number:"),
         QStringLiteral("Data meas.:"),
         QStringLiteral("Copy to clipboard"),
         true,
         11,
         false,
         "export_start_he.txt"},
    };
    return table;
}

void addProgramRows()
{
    QTest::addColumn<int>("program");
    for (std::size_t i = 0; i < windowDifferences().size(); ++i)
        QTest::newRow(windowDifferences()[i].program) << static_cast<int>(i);
}

} // namespace

class TestRegressionWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startUpShowsTheExample();
    void controlsCarryTheirTextsAndStartStates_data() { addProgramRows(); }
    void controlsCarryTheirTextsAndStartStates();
    void layoutKeepsControlsApartAndReadable_data() { addProgramRows(); }
    void layoutKeepsControlsApartAndReadable();
    void activationResetsListsOnlyWhenShown();
    void activationRecalculatesOnlyWhereTheProgramDoes_data() { addProgramRows(); }
    void activationRecalculatesOnlyWhereTheProgramDoes();
    void pasteReplacesDataOrRefusesAndRedraws();
    void clickRejectsAndRestoresPoints();
    void showBoxesAddAndRemoveExactlyTheirCurve();
    void zoomOptionsChangeTheScale();
    void freeDegreeRefitsRowOne();
    void exportOfTheStartStateMatchesReference_data() { addProgramRows(); }
    void exportOfTheStartStateMatchesReference();
    void aboutBoxAndMessageBoxes_data() { addProgramRows(); }
    void aboutBoxAndMessageBoxes();
    void showParametersWidensTheWindow();
    void painterMapsClipsAndPlacesLabels();
    void exportBoxAloneFitsItsMethod();
    void keysRunPasteAndCopy();
    void compareMethodsFollowsEveryRecalculation();
    void plotMenuSavesWhatIsShown();
    void tabOrderNamesAndMinimumSize();
    void tickLabelsNeverOverlap();
    void uncertaintyControlsReachTheCalculation();
    void polylinesPaintLikeTheirSegments();

private:
    QLabel* label(const char* name) const { return m_window->findChild<QLabel*>(QLatin1String(name)); }
    QString caption(const char* name) const { return label(name)->text(); }
    template <typename T> T* control(const QString& name) const
    {
        T* widget = m_window->findChild<T*>(name);
        if (!widget)
            qWarning("no control %s", qPrintable(name));
        return widget;
    }
    QPoint pixelOf(double x, double y) const;
    // Opens the window anew with a program's options, on the start-up
    // example (the first program's start, or a hand-over in the second).
    void openWindow(const ProgramProfile& profile);
    // The program of the current data row, its window opened.
    const WindowDifferences& programUnderTest();

    std::unique_ptr<Store> m_store;
    std::unique_ptr<RegressionWindow> m_window;
    CollectingMessageSink m_messages;
    std::vector<RecordedBox> m_boxes;
};

void TestRegressionWindow::init() { openWindow(kalibron01Profile()); }

void TestRegressionWindow::openWindow(const ProgramProfile& profile)
{
    m_window.reset();
    m_messages.messages.clear();
    m_boxes.clear();
    m_store = std::make_unique<Store>(profile.store);
    m_store->gPath = QCoreApplication::applicationDirPath().toStdString();
    LoadStudent(*m_store, m_messages);
    QVERIFY2(m_messages.messages.empty(), "student.dat must load beside the test");
    m_store->AllData = true;
    m_store->FileListShown = false;
    putExampleSequence(*m_store);
    m_window = std::make_unique<RegressionWindow>(*m_store, profile.regressionWindow);
    m_window->setMessageSink(&m_messages);
    m_window->setBoxRunner([this](QMessageBox& box) {
        m_boxes.push_back({box.windowTitle(), box.text(), box.icon(), box.standardButtons()});
    });
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestRegressionWindow::cleanup()
{
    m_window.reset();
    m_store.reset();
}

const WindowDifferences& TestRegressionWindow::programUnderTest()
{
    QFETCH(int, program);
    const WindowDifferences& differences = windowDifferences()[static_cast<std::size_t>(program)];
    if (program != 0)
        openWindow(differences.profile);
    return differences;
}

QPoint TestRegressionWindow::pixelOf(double x, double y) const
{
    const auto* pict1 = control<PlotArea>(QStringLiteral("pict1"));
    return dataToPixel(m_window->shownScene().scale, QSizeF(pict1->size()), x, y).toPoint();
}

void TestRegressionWindow::startUpShowsTheExample()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("frm_Reg"));
    QCOMPARE(m_window->windowTitle(),
             QStringLiteral("KALIBRON - calculates interpolated values for samples between standard measurements"));
    QCOMPARE(m_store->ProbIndex, std::optional<int>(3));

    QCOMPARE(caption("lblNData"), QStringLiteral("27"));
    QCOMPARE(caption("lblnDataOK"), QStringLiteral("5"));
    QCOMPARE(caption("lblRej"), QStringLiteral("0"));
    QCOMPARE(caption("lbl_LRr"), QStringLiteral("0.95"));
    for (const char* name : {"lbl_LRa", "lbl_LRb", "lblDiff", "lblDiffProc", "lbl_LoRa", "lbl_LoRb", "lbl_LoRr",
                             "lblDiffLog", "lblDiffProcLog", "lblDiffPoly(2)", "lblDiffProcPoly(2)"})
        QVERIFY2(!caption(name).isEmpty(), name);
    for (const char* name : {"lblDiffPoly(1)", "lblDiffPoly(3)", "lblDiffPoly(4)", "lblDiffPoly(5)"})
        QVERIFY2(caption(name).isEmpty(), name);

    // Five black marks, and every enabled curve: zigzag, log, degree 2.
    const PlotScene& scene = m_window->shownScene();
    QCOMPARE(countPlotBoxes(scene, colours::kBlack), 5);
    QVERIFY(countPlotSegments(scene, colours::kOrange) > 0);
    QVERIFY(countPlotSegments(scene, colours::kMagenta) > 0);
    QVERIFY(countPlotSegments(scene, colours::kGreen) > 0);
    QCOMPARE(countPlotSegments(scene, colours::kBlue), 0);
    // Linear line plus the band's upper and lower segments over 5..26.
    QVERIFY(countPlotSegments(scene, colours::kBlack) >= 1 + 2 * 22);

    // The tick labels are the scene's, placed and shown in the frame.
    int shown = 0;
    for (const TickLabel& tick : scene.labels) {
        const char* array = tick.axis == TickLabel::Axis::X ? "lblX" : "lblY";
        auto* tickLabel = control<QLabel>(QStringLiteral("%1(%2)").arg(QLatin1String(array)).arg(tick.index));
        QVERIFY(tickLabel);
        QVERIFY(tickLabel->isVisible());
        QCOMPARE(tickLabel->text(), QString::fromStdString(tick.text));
        ++shown;
    }
    QVERIFY(shown >= 3); // "0", "10", "20" at least
    QCOMPARE(control<QLabel>(QStringLiteral("lblX(20)"))->isVisible(), false);
}

void TestRegressionWindow::controlsCarryTheirTextsAndStartStates()
{
    const WindowDifferences& program = programUnderTest();
    const std::pair<const char*, QString> buttons[] = {
        {"cmdPlot", QStringLiteral("Plot and calculate")},
        {"cmdRestore", QStringLiteral("Restore all data")},
        {"cmdPaste", QStringLiteral("Paste data from clipboard")},
        {"cmdCopy", program.copyCaption},
        {"cmdShowPars", QStringLiteral("Show parameters")},
        {"cmdBack", QStringLiteral("Back to File List")},
        {"cmdAbout", QStringLiteral("About")},
        {"cmdClose", QStringLiteral("Close")},
    };
    for (const auto& [name, text] : buttons) {
        auto* button = control<QPushButton>(QLatin1String(name));
        QVERIFY2(button, name);
        QCOMPARE(button->text(), text);
    }
    QVERIFY(!control<QPushButton>(QStringLiteral("cmdBack"))->isVisible());
    QCOMPARE(control<QPushButton>(QStringLiteral("cmdShowPars"))->isVisible(), program.showParameters);
    QCOMPARE(static_cast<int>(
                 m_window->findChildren<QLabel*>(QRegularExpression(QStringLiteral("^lblX\\(\\d+\\)$"))).size()),
             program.xLabels);
    QVERIFY(control<QLabel>(QStringLiteral("lblX(%1)").arg(program.xLabels - 1)));

    const std::tuple<const char*, const char*, bool> options[] = {
        {"optScale(0)", "Full", true},       {"optScale(1)", "Zoom", false},
        {"optScaleX(0)", "Full", true},      {"optScaleX(1)", "Zoom", false},
        {"optAllData(0)", "All data", true}, {"optAllData(1)", "Only unrejected", false},
    };
    for (const auto& [name, text, on] : options) {
        auto* option = control<QRadioButton>(QLatin1String(name));
        QVERIFY2(option, name);
        QCOMPARE(option->text(), QLatin1String(text));
        QCOMPARE(option->isChecked(), on);
    }
    QCOMPARE(control<QRadioButton>(QStringLiteral("optScale(0)"))->parentWidget()->property("title").toString(),
             QStringLiteral("Y scale"));
    QCOMPARE(control<QRadioButton>(QStringLiteral("optAllData(0)"))->parentWidget()->property("title").toString(),
             QStringLiteral("Y scaling at rejection"));

    auto* chkConf = control<QCheckBox>(QStringLiteral("chkConf"));
    QCOMPARE(chkConf->text(), QStringLiteral("Show confidence bandl for lin. regr."));
    QVERIFY(chkConf->isChecked());
    auto* check1 = control<QCheckBox>(QStringLiteral("Check1"));
    QVERIFY(check1->isChecked() && !check1->isEnabled());
    QVERIFY(control<QCheckBox>(QStringLiteral("chkLog"))->isChecked());
    QVERIFY(control<QCheckBox>(QStringLiteral("chkZigZag"))->isChecked());
    for (int s = 1; s <= 5; ++s)
        QCOMPARE(control<QCheckBox>(QStringLiteral("chkPoly(%1)").arg(s))->isChecked(), s == 2);
    for (int k = 0; k <= 7; ++k)
        QCOMPARE(control<QCheckBox>(QStringLiteral("chkEX(%1)").arg(k))->isChecked(), k <= 2);

    auto* comboProb = control<QComboBox>(QStringLiteral("comboProb"));
    QCOMPARE(comboProb->count(), 6);
    QCOMPARE(comboProb->itemText(0), QStringLiteral("0.1    80%"));
    QCOMPARE(comboProb->itemText(5), QStringLiteral("0.001  99.8"));
    QCOMPARE(comboProb->currentText(), QStringLiteral("0.025  95%"));
    // The levels line up in two columns, in the list and in its drop-down,
    // with whatever fonts this machine has: the prefix before the second
    // column has one width in every entry.
    for (const QFont& font : {comboProb->font(), comboProb->view()->font()}) {
        const QFontMetricsF metrics(font);
        const qreal prefix = metrics.horizontalAdvance(comboProb->itemText(0).left(7));
        for (int i = 0; i < comboProb->count(); ++i) {
            QVERIFY(comboProb->itemText(i).at(6) == QLatin1Char(' ') &&
                    comboProb->itemText(i).at(7) != QLatin1Char(' '));
            QCOMPARE(metrics.horizontalAdvance(comboProb->itemText(i).left(7)), prefix);
        }
    }
    // A proportional family first in the list is passed over.
    QVERIFY(linesUpColumns(
        fixedPitchFont(8, {QStringLiteral("sans-serif"), QStringLiteral("DejaVu Sans"), QStringLiteral("monospace")})));
    auto* combo1 = control<QComboBox>(QStringLiteral("ComboBox1"));
    QCOMPARE(combo1->count(), 24);
    QCOMPARE(combo1->itemText(0), QStringLiteral("2"));
    QCOMPARE(combo1->itemText(23), QStringLiteral("25"));
    QCOMPARE(combo1->currentText(), QStringLiteral("6"));

    // Row titles, headers and counts, with the grid's text colours.
    const std::tuple<QString, QColor> texts[] = {
        {program.maximumCaption, QColor(0, 0, 0)},
        {program.dataCountCaption, QColor(0, 0, 0)},
        {"Linar regression", QColor(0, 0, 0)},
        {"Logarithmic regression", QColor(255, 0, 255)},
        {"Polynomial regression", QColor(0, 128, 0)},
        {"2 ord.", QColor(0, 192, 0)},
        {"3 ord.", QColor(0, 128, 0)},
        {"4 ord.", QColor(0, 192, 192)},
        {"5 ord.", QColor(128, 128, 255)},
        {"Zigzag between clusters of standards", QColor(255, 128, 0)},
        {"a:", QColor(0, 0, 0)},
        {"b:", QColor(0, 0, 0)},
        {"r^2:", QColor(0, 0, 0)},
        {"Aver. diff.:", QColor(0, 0, 0)},
        {"%:", QColor(0, 0, 0)},
        {"Show", QColor(0, 0, 0)},
        {"Export", QColor(0, 0, 0)},
        {"Rejected:", QColor(0, 0, 0)},
    };
    const QList<QLabel*> labels = m_window->findChildren<QLabel*>();
    for (const auto& [text, colour] : texts) {
        const QString& wanted = text; // a structured binding cannot be captured before C++20's P1091 in every compiler
        const auto found =
            std::find_if(labels.begin(), labels.end(), [&](const QLabel* l) { return l->text() == wanted; });
        QVERIFY2(found != labels.end(), qPrintable(text));
        QCOMPARE((*found)->palette().color(QPalette::WindowText), colour);
    }
    QCOMPARE(label("lbl_LoRa")->palette().color(QPalette::WindowText), QColor(255, 0, 255));
    QCOMPARE(label("lblDiffPoly(1)")->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    QCOMPARE(label("lblDiffPoly(3)")->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    for (const char* name : {"lbl_LRa", "lblDiffProcPoly(4)", "lblRej"}) {
        QVERIFY(label(name)->autoFillBackground());
        QCOMPARE(label(name)->palette().color(QPalette::Window), QColor(Qt::white));
    }
}

void TestRegressionWindow::layoutKeepsControlsApartAndReadable()
{
    programUnderTest();
    const QRect client(0, 0, m_window->twipsToPixelsX(12825), m_window->twipsToPixelsY(9795));
    QCOMPARE(m_window->size(), client.size());
    auto* pict2 = control<QWidget>(QStringLiteral("pict2"));
    QCOMPARE(pict2->geometry(),
             QRect(m_window->twipsToPixelsX(1080), m_window->twipsToPixelsY(120), m_window->twipsToPixelsX(11655),
                   m_window->twipsToPixelsY(6495)));
    auto* pict1 = control<QWidget>(QStringLiteral("pict1"));
    QCOMPARE(pict1->mapTo(m_window.get(), QPoint(0, 0)),
             QPoint(m_window->twipsToPixelsX(1920), m_window->twipsToPixelsY(360)));
    auto* label2 = label("Label2");
    QCOMPARE(label2->x(), m_window->twipsToPixelsX(12840));
    QVERIFY(label2->x() >= client.width()); // outside until widened

    // Every control of the window (hidden ones too: another program shows
    // them) lies inside the client area and overlaps no other. A plain frame
    // only groups: what it touches lies wholly inside it.
    QList<QWidget*> controls, frames;
    for (QObject* child : m_window->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && widget != label2 && !widget->isWindow())
            (widget->metaObject() == &QFrame::staticMetaObject ? frames : controls).append(widget);
    }
    for (QWidget* frame : frames)
        for (QWidget* widget : controls)
            if (frame->geometry().intersects(widget->geometry()))
                QVERIFY2(frame->geometry().contains(widget->geometry()),
                         qPrintable(widget->objectName() + QStringLiteral(" sticks out of ") + frame->objectName()));
    QVERIFY(controls.size() > 50);
    for (int i = 0; i < controls.size(); ++i) {
        QVERIFY2(client.contains(controls[i]->geometry()), qPrintable(controls[i]->objectName()));
        for (int j = i + 1; j < controls.size(); ++j)
            QVERIFY2(!controls[i]->geometry().intersects(controls[j]->geometry()),
                     qPrintable(controls[i]->objectName() + QStringLiteral(" overlaps ") + controls[j]->objectName()));
    }
    // Texts fit: buttons, check boxes with text, option buttons and static labels.
    for (auto* button : m_window->findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty())
            continue;
        // A push button's size hint has a minimum width; its text is what must fit.
        const int needed = qobject_cast<QPushButton*>(button)
            ? button->fontMetrics().horizontalAdvance(button->text()) + 8
            : button->sizeHint().width();
        QVERIFY2(needed <= button->width(), qPrintable(button->objectName()));
    }
    for (auto* text : m_window->findChildren<QLabel*>()) {
        if (text->wordWrap() || text == label2 || text->parentWidget() != m_window.get())
            continue;
        QVERIFY2(text->fontMetrics().horizontalAdvance(text->text()) <= text->width(), qPrintable(text->objectName()));
    }
    for (auto* frame : m_window->findChildren<QGroupBox*>())
        QVERIFY2(frame->fontMetrics().horizontalAdvance(frame->title()) + 8 <= frame->width(),
                 qPrintable(frame->objectName()));
}

void TestRegressionWindow::activationResetsListsOnlyWhenShown()
{
    auto* comboProb = control<QComboBox>(QStringLiteral("comboProb"));
    comboProb->setFocus();
    QTest::keyClick(comboProb, Qt::Key_Up);
    QTest::keyClick(comboProb, Qt::Key_Up);
    QCOMPARE(comboProb->currentIndex(), 0);
    QCOMPARE(m_store->ProbIndex, std::optional<int>(1));

    // The window system's activation (as after a message box) keeps the choice.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(m_window.get(), &activate);
    QCOMPARE(comboProb->currentIndex(), 0);

    // Showing the window again activates it: 95 % and degree 6 once more.
    auto* combo1 = control<QComboBox>(QStringLiteral("ComboBox1"));
    combo1->setCurrentIndex(0);
    m_window->hide();
    m_window->show();
    QCOMPARE(comboProb->currentIndex(), 2);
    QCOMPARE(m_store->ProbIndex, std::optional<int>(3));
    QCOMPARE(combo1->currentText(), QStringLiteral("6"));
    QCOMPARE(combo1->count(), 24);

    // Once the file list has been active, activation shows the way back.
    m_store->FileListShown = true;
    int backCalls = 0;
    m_window->setBackHandler([&backCalls] { ++backCalls; });
    m_window->activate();
    auto* back = control<QPushButton>(QStringLiteral("cmdBack"));
    QVERIFY(back->isVisible());
    QTest::mouseClick(back, Qt::LeftButton);
    QCOMPARE(backCalls, 1);

    // "Only unrejected" and back.
    QTest::mouseClick(control<QRadioButton>(QStringLiteral("optAllData(1)")), Qt::LeftButton);
    QVERIFY(!m_store->AllData);
    QTest::mouseClick(control<QRadioButton>(QStringLiteral("optAllData(0)")), Qt::LeftButton);
    QVERIFY(m_store->AllData);
}

// The first program recalculates whenever its window is shown; the second
// shows a hand-over only once the operator asks for a calculation.
void TestRegressionWindow::activationRecalculatesOnlyWhereTheProgramDoes()
{
    const WindowDifferences& program = programUnderTest();
    const bool recalculates = program.recalculatesOnActivation;
    QCOMPARE(m_store->ProbIndex, std::optional<int>(3));
    QCOMPARE(caption("lblNData"), recalculates ? QStringLiteral("27") : QString());
    QCOMPARE(m_window->shownScene().items.empty(), !recalculates);
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdPlot")), Qt::LeftButton);
    QCOMPARE(caption("lblNData"), QStringLiteral("27"));

    // New data in the store, as the file list's hand-over leaves them, then
    // the window is shown again.
    m_store->Y[40] = 450.0;
    m_store->MaxX = 40;
    m_store->nPointsAll = 6;
    m_store->FileListShown = true;
    m_window->hide();
    m_window->show();
    QVERIFY(control<QPushButton>(QStringLiteral("cmdBack"))->isVisible());
    QCOMPARE(caption("lblNData"), recalculates ? QStringLiteral("40") : QStringLiteral("27"));
    QCOMPARE(control<QComboBox>(QStringLiteral("comboProb"))->currentText(), QStringLiteral("0.025  95%"));
    // Any setting change shows them.
    QTest::mouseClick(control<QCheckBox>(QStringLiteral("chkLog")), Qt::LeftButton);
    QCOMPARE(caption("lblNData"), QStringLiteral("40"));
    QCOMPARE(caption("lblnDataOK"), QStringLiteral("6"));
}

void TestRegressionWindow::pasteReplacesDataOrRefusesAndRedraws()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    auto* paste = control<QPushButton>(QStringLiteral("cmdPaste"));

    // A table with LF line ends, as spreadsheets here copy it.
    clipboard->setText(QStringLiteral("2\t50\n4\t48\n6\t47\n9\t44\n"));
    QTest::mouseClick(paste, Qt::LeftButton);
    QVERIFY(m_messages.messages.empty());
    QCOMPARE(caption("lblNData"), QStringLiteral("9"));
    QCOMPARE(caption("lblnDataOK"), QStringLiteral("4"));
    QCOMPARE(countPlotBoxes(m_window->shownScene(), colours::kBlack), 4);
    QVERIFY(near(m_store->Y[4].value(), 48));
    QVERIFY(!m_store->Y[5].present());

    // A three-column table with CR LF: error bars instead of boxes.
    clipboard->setText(QStringLiteral("5\t980\t20\r\n10\t770\t15\r\n15\t700\t10\r\n"));
    QTest::mouseClick(paste, Qt::LeftButton);
    QVERIFY(m_messages.messages.empty());
    QCOMPARE(caption("lblNData"), QStringLiteral("15"));
    QCOMPARE(m_store->nCols, 3);
    QCOMPARE(countPlotBoxes(m_window->shownScene(), colours::kBlack), 0);

    // Refused: the message, the data as it was, and still a recalculation
    // (the mark set without one shows up in the counts).
    m_store->Rejected[10] = ValueCell(1.0);
    clipboard->setText(QStringLiteral("1\t2\r\nx\t3\r\n4\t5\r\n"));
    QTest::mouseClick(paste, Qt::LeftButton);
    QCOMPARE(m_messages.messages.size(), std::size_t(1));
    QCOMPARE(m_messages.messages[0].text, std::string(kTableFormatMessage));
    QCOMPARE(m_messages.messages[0].icon, MessageIcon::Exclamation);
    QVERIFY(near(m_store->Y[10].value(), 770));
    QVERIFY(!m_store->Y[1].present());
    QCOMPARE(caption("lblRej"), QStringLiteral("1"));
    QCOMPARE(countPlotBoxes(m_window->shownScene(), colours::kRed), 0); // error bars, red strokes
    QVERIFY(countPlotSegments(m_window->shownScene(), colours::kRed) >= 2);

    clipboard->clear();
    QTest::mouseClick(paste, Qt::LeftButton);
    QCOMPARE(m_messages.messages.size(), std::size_t(2));
    QCOMPARE(m_messages.messages[1].text, std::string(kClipboardEmptyMessage));
    QCOMPARE(caption("lblNData"), QStringLiteral("15"));
}

void TestRegressionWindow::clickRejectsAndRestoresPoints()
{
    auto* pict1 = control<PlotArea>(QStringLiteral("pict1"));
    auto* plot = control<QPushButton>(QStringLiteral("cmdPlot"));
    const QString slope = caption("lbl_LRb");
    const QString logSlope = caption("lbl_LoRb");
    const QString poly = caption("lblDiffPoly(2)");

    // The right button does nothing.
    QTest::mouseClick(pict1, Qt::RightButton, {}, pixelOf(5, 980));
    QVERIFY(m_store->Rejected[5].value() < 1);

    // Left click on the point at 5: marked red at once, fits change only
    // with the next calculation.
    const std::size_t itemsBefore = m_window->shownScene().items.size();
    QTest::mouseClick(pict1, Qt::LeftButton, {}, pixelOf(5, 980));
    QCOMPARE(m_store->Rejected[5].value(), 1.0);
    QCOMPARE(m_window->shownScene().items.size(), itemsBefore + 1);
    const auto* mark = std::get_if<Box>(&m_window->shownScene().items.back());
    QVERIFY(mark && mark->colour == colours::kRed);
    QCOMPARE(caption("lbl_LRb"), slope);

    QTest::mouseClick(plot, Qt::LeftButton);
    QCOMPARE(caption("lblRej"), QStringLiteral("1"));
    QVERIFY(caption("lbl_LRb") != slope);
    QVERIFY(caption("lbl_LoRb") != logSlope);
    QVERIFY(caption("lblDiffPoly(2)") != poly);
    QCOMPARE(countPlotBoxes(m_window->shownScene(), colours::kRed), 1);
    QCOMPARE(countPlotBoxes(m_window->shownScene(), colours::kBlack), 4);

    // Clicking again takes it back (black box drawn over), the next
    // calculation includes it again.
    QTest::mouseClick(pict1, Qt::LeftButton, {}, pixelOf(5, 980));
    QVERIFY(m_store->Rejected[5].value() < 1);
    const auto* unmark = std::get_if<Box>(&m_window->shownScene().items.back());
    QVERIFY(unmark && unmark->colour == colours::kBlack);
    QTest::mouseClick(plot, Qt::LeftButton);
    QCOMPARE(caption("lblRej"), QStringLiteral("0"));
    QCOMPARE(caption("lbl_LRb"), slope);

    // A click away from every point changes nothing.
    QTest::mouseClick(pict1, Qt::LeftButton, {}, pixelOf(20, 980));
    for (int x : {5, 10, 15, 25, 27})
        QVERIFY(m_store->Rejected[static_cast<std::size_t>(x)].value() < 1);

    // Reject two, then restore all.
    QTest::mouseClick(pict1, Qt::LeftButton, {}, pixelOf(10, 770));
    QTest::mouseClick(pict1, Qt::LeftButton, {}, pixelOf(27, 500));
    QTest::mouseClick(plot, Qt::LeftButton);
    QCOMPARE(caption("lblRej"), QStringLiteral("2"));
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdRestore")), Qt::LeftButton);
    QCOMPARE(caption("lblRej"), QStringLiteral("0"));
    QCOMPARE(caption("lbl_LRb"), slope);
    QCOMPARE(countPlotBoxes(m_window->shownScene(), colours::kRed), 0);
}

void TestRegressionWindow::showBoxesAddAndRemoveExactlyTheirCurve()
{
    // Enough points for every degree up to 5.
    QGuiApplication::clipboard()->setText(driftTable());
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdPaste")), Qt::LeftButton);
    QVERIFY(m_messages.messages.empty());

    const Rgb curveColours[] = {colours::kOrange,    colours::kMagenta, colours::kBlue,      colours::kGreen,
                                colours::kDarkGreen, colours::kTeal,    colours::kLightBlue, colours::kBlack,
                                kDriftColours[0],    kDriftColours[1],  kDriftColours[2],    kDriftColours[3],
                                kDriftColours[4]};
    auto counts = [&] {
        std::vector<int> result;
        for (const Rgb& colour : curveColours)
            result.push_back(countPlotSegments(m_window->shownScene(), colour));
        return result;
    };
    struct Case {
        const char* box;
        std::size_t colour;              // index into curveColours
        std::vector<const char*> labels; // result labels that come and go with it
    };
    const Case cases[] = {
        {"chkZigZag", 0, {}},
        {"chkLog", 1, {"lbl_LoRa", "lbl_LoRb", "lbl_LoRr", "lblDiffLog", "lblDiffProcLog"}},
        {"chkPoly(1)", 2, {"lblDiffPoly(1)", "lblDiffProcPoly(1)"}},
        {"chkPoly(2)", 3, {"lblDiffPoly(2)", "lblDiffProcPoly(2)"}},
        {"chkPoly(3)", 4, {"lblDiffPoly(3)", "lblDiffProcPoly(3)"}},
        {"chkPoly(4)", 5, {"lblDiffPoly(4)", "lblDiffProcPoly(4)"}},
        {"chkPoly(5)", 6, {"lblDiffPoly(5)", "lblDiffProcPoly(5)"}},
        {"chkConf", 7, {}},
        // The drift methods, off at the start: each box brings its own curve.
        {"chkDrift(0)", 8, {}},
        {"chkDrift(1)", 9, {}},
        {"chkDrift(2)", 10, {}},
        {"chkDrift(3)", 11, {}},
        {"chkDrift(4)", 12, {}},
    };
    for (const Case& c : cases) {
        auto* box = control<QCheckBox>(QLatin1String(c.box));
        const bool wasOn = box->isChecked();
        const std::vector<int> before = counts();
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(box->isChecked(), !wasOn);
        const std::vector<int> after = counts();
        for (std::size_t k = 0; k < before.size(); ++k) {
            if (k == c.colour)
                QVERIFY2(wasOn ? after[k] < before[k] : after[k] > before[k], c.box);
            else
                QVERIFY2(after[k] == before[k], c.box);
        }
        for (const char* name : c.labels)
            QVERIFY2(caption(name).isEmpty() == wasOn, name);
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY2(counts() == before, c.box);
    }
    // The band is an upper and a lower segment per step from FirstX (1) to
    // MaxX (19); the linear line and its labels stay without it.
    const int withBand = countPlotSegments(m_window->shownScene(), colours::kBlack);
    QTest::mouseClick(control<QCheckBox>(QStringLiteral("chkConf")), Qt::LeftButton);
    QCOMPARE(withBand - countPlotSegments(m_window->shownScene(), colours::kBlack), 2 * (19 - 1));
    QVERIFY(!caption("lbl_LRa").isEmpty());
}

void TestRegressionWindow::zoomOptionsChangeTheScale()
{
    const PlotScale full = m_window->shownScene().scale;
    QVERIFY(near(full.left, 0));
    QVERIFY(near(full.top, 1.1 * 980));

    QTest::mouseClick(control<QRadioButton>(QStringLiteral("optScale(1)")), Qt::LeftButton);
    const PlotScale yZoom = m_window->shownScene().scale;
    QVERIFY(near(yZoom.top, 980 + 0.1 * 480));
    QVERIFY(near(yZoom.height, -1.2 * 480));
    QVERIFY(near(yZoom.left, full.left) && near(yZoom.width, full.width));

    QTest::mouseClick(control<QRadioButton>(QStringLiteral("optScaleX(1)")), Qt::LeftButton);
    const PlotScale xZoom = m_window->shownScene().scale;
    QVERIFY(near(xZoom.left, 5));
    QVERIFY(near(xZoom.width, 1.05 * 27 - 5));
    QVERIFY(near(xZoom.top, yZoom.top));

    // The rejection tolerance follows the zoomed scale: a click still hits.
    QTest::mouseClick(control<PlotArea>(QStringLiteral("pict1")), Qt::LeftButton, {}, pixelOf(15, 700));
    QCOMPARE(m_store->Rejected[15].value(), 1.0);

    QTest::mouseClick(control<QRadioButton>(QStringLiteral("optScale(0)")), Qt::LeftButton);
    QTest::mouseClick(control<QRadioButton>(QStringLiteral("optScaleX(0)")), Qt::LeftButton);
    QVERIFY(near(m_window->shownScene().scale.top, full.top));
    QVERIFY(near(m_window->shownScene().scale.left, 0));
}

void TestRegressionWindow::freeDegreeRefitsRowOne()
{
    QGuiApplication::clipboard()->setText(driftTable());
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdPaste")), Qt::LeftButton);
    QTest::mouseClick(control<QCheckBox>(QStringLiteral("chkPoly(1)")), Qt::LeftButton);
    QVERIFY(m_messages.messages.empty());
    const QString diffAt6 = caption("lblDiffPoly(1)");
    QVERIFY(!diffAt6.isEmpty());
    QVERIFY(countPlotSegments(m_window->shownScene(), colours::kBlue) > 0);
    const double c6 = m_store->PolyCoef[1][6 + 2].value();
    QVERIFY(c6 != 0);
    // The parameter panel lists P0 .. P6, one a line.
    const QString parameters = label("Label2")->text();
    QVERIFY(parameters.startsWith(QStringLiteral("P0 = ")));
    QVERIFY(parameters.contains(QStringLiteral("\nP6 = ")));
    QVERIFY(!parameters.contains(QLatin1Char('\r')));

    auto* combo1 = control<QComboBox>(QStringLiteral("ComboBox1"));
    combo1->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(combo1, Qt::Key_Down);
    QCOMPARE(combo1->currentText(), QStringLiteral("9"));
    // Degree 9 follows the wiggles closer: a power-9 term and a smaller
    // mean difference than degree 6.
    QVERIFY(m_store->PolyCoef[1][9 + 2].value() != 0);
    const QString diffAt9 = caption("lblDiffPoly(1)");
    QVERIFY(!diffAt9.isEmpty());
    QVERIFY(diffAt9.toDouble() < diffAt6.toDouble());
    QVERIFY(countPlotSegments(m_window->shownScene(), colours::kBlue) > 0);

    // "10" refits at once. Over positions up to 19 the degree-10 normal
    // equations lose all precision; then the row shows nothing rather than
    // the curve or the numbers of the previous degree.
    QTest::keyClick(combo1, Qt::Key_Down);
    QCOMPARE(combo1->currentText(), QStringLiteral("10"));
    if (m_store->PolyCoef[1][10 + 2].present()) {
        QVERIFY(m_store->PolyCoef[1][10 + 2].value() != 0);
        QVERIFY(!caption("lblDiffPoly(1)").isEmpty());
        QVERIFY(caption("lblDiffPoly(1)") != diffAt9);
    } else {
        QVERIFY(caption("lblDiffPoly(1)").isEmpty());
        QVERIFY(caption("lblDiffProcPoly(1)").isEmpty());
        QCOMPARE(countPlotSegments(m_window->shownScene(), colours::kBlue), 0);
        QVERIFY(!m_store->PolyCoef[1][9 + 2].present());
    }
    QVERIFY(m_messages.messages.empty());
}

void TestRegressionWindow::exportOfTheStartStateMatchesReference()
{
    const WindowDifferences& program = programUnderTest();
    QFile reference(QStringLiteral(KALIBRON_TEST_DATA_DIR "/") + QLatin1String(program.exportReference));
    QVERIFY(reference.open(QIODevice::ReadOnly));
    const QString expected = QString::fromUtf8(reference.readAll());

    if (!program.recalculatesOnActivation)
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdPlot")), Qt::LeftButton);
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdCopy")), Qt::LeftButton);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    const QString text = QGuiApplication::clipboard()->text();
    QVERIFY(!text.contains(QLatin1Char('\n')));
    QVERIFY(text.startsWith(QStringLiteral("* * *  KALIBRON  -  Export of interpolated data\r")));
    QCOMPARE(text, expected);
    QCOMPARE(text.toStdString(), m_store->ClipOut);
}

void TestRegressionWindow::aboutBoxAndMessageBoxes()
{
    const WindowDifferences& program = programUnderTest();
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdAbout")), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), std::size_t(1));
    const RecordedBox& about = m_boxes[0];
    QCOMPARE(about.title, program.aboutTitle);
    QCOMPARE(about.icon, QMessageBox::Warning);
    QCOMPARE(about.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(about.text.split(QLatin1Char('\n')), program.aboutLines);

    // With the boxes restored as the sink, a refused paste becomes a box:
    // exclamation, OK, empty title.
    m_window->setMessageSink(nullptr);
    QGuiApplication::clipboard()->setText(QStringLiteral("1\t2\r\n"));
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdPaste")), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), std::size_t(2));
    QCOMPARE(m_boxes[1].text, QLatin1String(kTableFormatMessage));
    QCOMPARE(m_boxes[1].title, QString());
    QCOMPARE(m_boxes[1].icon, QMessageBox::Warning);
    QCOMPARE(m_boxes[1].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    // A message without a title of its own takes the application's, and a
    // message without an icon shows none.
    m_window->messageSink().show(Message{"plain", std::nullopt, MessageIcon::None});
    QCOMPARE(m_boxes.size(), std::size_t(3));
    QCOMPARE(m_boxes[2].title, QGuiApplication::applicationDisplayName());
    QCOMPARE(m_boxes[2].icon, QMessageBox::NoIcon);
}

void TestRegressionWindow::showParametersWidensTheWindow()
{
    const int height = m_window->height();
    m_window->cmdShowPars_Click();
    QCOMPARE(m_window->frameGeometry().width(), m_window->twipsToPixelsX(15700));
    QCOMPARE(m_window->height(), height);
    QVERIFY(m_window->rect().contains(label("Label2")->geometry().topLeft()));
}

void TestRegressionWindow::painterMapsClipsAndPlacesLabels()
{
    // Pixel <-> data round trip through a zoomed scale with Y up.
    const PlotScale scale{5, 1028, 23.35, -576};
    const QSizeF size(705, 385);
    const QPointF pixel = dataToPixel(scale, size, 15, 700);
    QVERIFY(near(pixel.x(), (15 - 5) / 23.35 * 705));
    QVERIFY(near(pixel.y(), (1028 - 700) / 576.0 * 385));
    const QPointF back = pixelToData(scale, size, pixel);
    QVERIFY(near(back.x(), 15) && near(back.y(), 700));
    // A degenerate scale maps nothing (no inf/nan coordinates reach a click).
    QVERIFY(!isValidPoint(pixelToData(PlotScale{0, 0, 0, 0}, size, QPointF(1, 1))));
    QVERIFY(!isValidPoint(dataToPixel(scale, size, std::nan(""), 1)));

    // X labels centre on their tick whatever the text's width; Y labels
    // right-align and centre on top + 0.4 * height.
    const QSizeF perTwip(0.1, 0.1);
    TickLabel x{TickLabel::Axis::X, 1, "10", 1000 - 45, 6120, 90, 195};
    const QRectF xr = tickLabelRect(x, QSizeF(14, 12), perTwip);
    QVERIFY(near(xr.center().x(), 100));
    QVERIFY(near(xr.top(), 612));
    TickLabel y{TickLabel::Axis::Y, 0, "100", 90, 2000, 615, 255};
    const QRectF yr = tickLabelRect(y, QSizeF(20, 12), perTwip);
    QVERIFY(near(yr.right(), 70.5));
    QVERIFY(near(yr.center().y(), 200 + 0.4 * 25.5));

    // Rendering: a red box at a data point lands at its mapped pixel inside
    // pict1; a segment far outside the range is clipped, not drawn across.
    PlotScene scene;
    scene.scale = PlotScale{0, 100, 100, -100};
    // A filled box first: clipped to pict1, and under the lines drawn later.
    scene.items.push_back(FilledBox{Canvas::Plot, -50, 150, 20, -50, kExtrapolationShade});
    scene.items.push_back(Segment{Canvas::Plot, 0, 80, 100, 80, colours::kMagenta});
    scene.items.push_back(Box{Canvas::Plot, 40, 40, 60, 60, colours::kRed});
    scene.items.push_back(Segment{Canvas::Plot, 0, 1e300, 100, -1e300, colours::kBlue});
    scene.items.push_back(Segment{Canvas::Plot, 0, std::nan(""), 100, 5, colours::kGreen});
    scene.items.push_back(Segment{Canvas::Frame, 0, 6015, 11655, 6015, colours::kBlack});
    const QImage image = renderSceneImage(scene, 96);
    QCOMPARE(image.size(), QSize(777, 433));
    const QRectF plot = plotRectInFrame(scene.geometry, QRectF(0, 0, 777, 433));
    const QPointF corner = dataToPixel(scene.scale, plot.size(), 40, 60) + plot.topLeft();
    QVERIFY(colourNear(image, corner, QColor(255, 0, 0)));
    QCOMPARE(image.pixelColor(2, 2), QColor(255, 255, 192)); // frame background
    const QPointF centre = plot.center();
    QVERIFY(colourNear(image, centre + QPointF(0, 30), QColor(0, 0, 255))); // the steep line, clipped
    QCOMPARE(image.pixelColor((centre + QPointF(100, 30)).toPoint()), QColor(255, 255, 255));
    int green = 0;
    for (int px = 0; px < image.width(); ++px)
        for (int py = 0; py < image.height(); ++py)
            green += image.pixelColor(px, py) == QColor(0, 255, 0);
    QCOMPARE(green, 0);
    QVERIFY(colourNear(image, QPointF(300, 6015 * 433.0 / 6495), QColor(0, 0, 0)));
    const auto at = [&](double x, double y) {
        return (dataToPixel(scene.scale, plot.size(), x, y) + plot.topLeft()).toPoint();
    };
    QCOMPARE(image.pixelColor(at(10, 30)), toQColor(kExtrapolationShade));
    QCOMPARE(image.pixelColor(at(30, 30)), QColor(255, 255, 255));
    QVERIFY(colourNear(image, at(10, 80), QColor(255, 0, 255)));
    QCOMPARE(image.pixelColor(static_cast<int>(plot.left()) - 5, at(10, 30).y()),
             QColor(255, 255, 192)); // not outside pict1
}

// A method whose Export box is ticked is fitted whether or not it is shown:
// the block holds the fit of the current data, while labels and plot follow
// the Show boxes alone.
void TestRegressionWindow::exportBoxAloneFitsItsMethod()
{
    QFile reference(QStringLiteral(KALIBRON_TEST_DATA_DIR "/export_start.txt"));
    QVERIFY(reference.open(QIODevice::ReadOnly));
    const QString startExport = QString::fromUtf8(reference.readAll());
    auto copy = [this] {
        QGuiApplication::clipboard()->clear();
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdCopy")), Qt::LeftButton);
        return QGuiApplication::clipboard()->text();
    };

    QTest::mouseClick(control<QCheckBox>(QStringLiteral("chkLog")), Qt::LeftButton);
    QVERIFY(caption("lbl_LoRa").isEmpty());
    QCOMPARE(countPlotSegments(m_window->shownScene(), colours::kMagenta), 0);
    QCOMPARE(copy(), startExport); // the logarithmic block as with the curve shown

    // Ticking an Export box fits its row at once, without drawing it.
    QTest::mouseClick(control<QCheckBox>(QStringLiteral("chkEX(3)")), Qt::LeftButton);
    QCOMPARE(countPlotSegments(m_window->shownScene(), colours::kDarkGreen), 0);
    QVERIFY(caption("lblDiffPoly(3)").isEmpty());
    const QStringList lines = copy().split(QLatin1Char('\r'));
    QVERIFY(lines[1].contains(
        QRegularExpression(QStringLiteral("Poly3\\.R\\. aver\\.diff\\. /diff\\.%\t[0-9.]+\t[0-9.]+\t"))));
    // Degree 3 through five points, at the standard of position 15 (700).
    const QStringList cellsAt15 = lines[3 + 15].split(QLatin1Char('\t'));
    QVERIFY(std::abs(cellsAt15[5 + 4 + 4 + 2].toDouble() - 700) < 60);
    QVERIFY(m_messages.messages.empty());
}

void TestRegressionWindow::keysRunPasteAndCopy()
{
    QVERIFY(control<QPushButton>(QStringLiteral("cmdPaste"))->toolTip().contains(QLatin1String("Ctrl+V")));
    QVERIFY(control<QPushButton>(QStringLiteral("cmdCopy"))->toolTip().contains(QLatin1String("Ctrl+C")));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

    QGuiApplication::clipboard()->setText(driftTable());
    QTest::keyClick(m_window.get(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(caption("lblnDataOK"), QStringLiteral("15"));
    QCOMPARE(caption("lblNData"), QStringLiteral("19"));

    QGuiApplication::clipboard()->clear();
    QTest::keyClick(m_window.get(), Qt::Key_C, Qt::ControlModifier);
    const QString exported = QGuiApplication::clipboard()->text();
    QVERIFY(exported.startsWith(QLatin1String("* * *  KALIBRON  -  Export of interpolated data")));
    QVERIFY(exported.contains(QLatin1String("\r19\t")));
    QVERIFY(m_messages.messages.empty());
}

void TestRegressionWindow::compareMethodsFollowsEveryRecalculation()
{
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QGuiApplication::clipboard()->setText(driftTable());
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdPaste")), Qt::LeftButton);
    QTest::keyClick(m_window.get(), Qt::Key_M, Qt::ControlModifier);
    CompareMethodsDialog* dialog = m_window->compareDialog();
    QVERIFY(dialog && dialog->isVisible());

    // One row per method, sorted by the leave-one-out error, the best one bold.
    const QTableWidget& table = dialog->table();
    QCOMPARE(table.rowCount(), 8 + static_cast<int>(kDriftMethods));
    const auto looOf = [&table](int row) { return table.item(row, 2)->text().toDouble(); };
    for (int row = 1; row < table.rowCount(); ++row)
        QVERIFY(looOf(row - 1) <= looOf(row));
    QVERIFY(table.item(0, 0)->font().bold() && !table.item(1, 0)->font().bold());
    // Every method whose leave-one-out error is not below the mean's, and
    // only such a one, says so.
    const auto baselineRow = table.findItems(QStringLiteral("No correction (mean)"), Qt::MatchExactly);
    QCOMPARE(baselineRow.size(), 1);
    const double baseline = looOf(baselineRow.front()->row());
    int marked = 0;
    for (int row = 0; row < table.rowCount(); ++row) {
        const bool worse = row != baselineRow.front()->row() && !(looOf(row) < baseline);
        QCOMPARE(table.item(row, 7)->text(), worse ? QStringLiteral("no better than no correction") : QString());
        marked += worse ? 1 : 0;
    }
    QVERIFY2(marked < table.rowCount() - 1, "the drift table's methods beat the mean");
    // It fits the screen, however narrow, and its Close button closes it.
    const QRect available = dialog->screen()->availableGeometry();
    QVERIFY2(available.contains(dialog->frameGeometry()),
             qPrintable(QStringLiteral("%1x%2 on %3x%4")
                            .arg(dialog->frameGeometry().width())
                            .arg(dialog->frameGeometry().height())
                            .arg(available.width())
                            .arg(available.height())));
    auto* close = dialog->findChild<QPushButton*>(QStringLiteral("cmdClose"));
    QVERIFY(close && close->text().contains(QStringLiteral("Close")));
    close->click();
    QVERIFY(!dialog->isVisible());
    QTest::keyClick(m_window.get(), Qt::Key_M, Qt::ControlModifier);
    QVERIFY(dialog->isVisible() && available.contains(dialog->frameGeometry()));
    if (const QByteArray dir = qgetenv("KALIBRON_SCREENSHOT_DIR"); !dir.isEmpty())
        dialog->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("compare_methods.png")));
    const QString bestBefore = table.item(0, 0)->text();
    const QString largestBefore = table.item(0, 4)->text();

    // Rejecting the point that the best method predicts worst changes the figures at the next calculation.
    const int worst = table.item(0, 4)->text().section(QLatin1Char('('), 1).chopped(1).toInt();
    QTest::mouseClick(control<PlotArea>(QStringLiteral("pict1")), Qt::LeftButton, {},
                      pixelOf(worst, m_store->Y[static_cast<std::size_t>(worst)].value()));
    QCOMPARE(m_store->Rejected[static_cast<std::size_t>(worst)].value(), 1.0);
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdPlot")), Qt::LeftButton);
    QVERIFY(table.item(0, 0)->text() != bestBefore || table.item(0, 4)->text() != largestBefore);

    // The plot's context menu offers the same dialog.
    auto* menu = m_window->findChild<QMenu*>(QStringLiteral("mnuPlot"));
    QVERIFY(menu->findChild<QAction*>(QStringLiteral("mnuCompare")));
}

void TestRegressionWindow::plotMenuSavesWhatIsShown()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QString chosen;
    m_window->setSaveFileChooser([&chosen](QWidget*) { return chosen; });
    // A rejected point's red box is part of what is shown, and saved.
    auto* pict1 = control<PlotArea>(QStringLiteral("pict1"));
    QTest::mouseClick(pict1, Qt::LeftButton, {}, pixelOf(27, 500));
    QCOMPARE(m_store->Rejected[27].value(), 1.0);

    auto* menu = control<QMenu>(QStringLiteral("mnuPlot"));
    QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(20, 20), pict1->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(pict1, &request);
    QTRY_VERIFY(menu->isVisible());
    auto* save = menu->findChild<QAction*>(QStringLiteral("mnuSavePlot"));
    QVERIFY(save);
    QCOMPARE(save->text(), QStringLiteral("Save plot as\u2026"));
    menu->hide();

    chosen = folder.filePath(QStringLiteral("plot.svg"));
    save->trigger();
    QFile svg(chosen);
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QCOMPARE(svg.readAll(), renderSceneSvg(m_window->shownScene(), 96));

    chosen = folder.filePath(QStringLiteral("plot.PNG"));
    save->trigger();
    const QImage png(chosen);
    QCOMPARE(png.size(), renderSceneImage(m_window->shownScene(), 96).size());
    QCOMPARE(png.pixelColor(png.width() / 2, 2), QColor(255, 255, 192));
    QVERIFY(m_messages.messages.empty());

    // Cancelled: nothing happens. Refused: one message, no file, an existing
    // file untouched.
    chosen.clear();
    save->trigger();
    QVERIFY(m_messages.messages.empty());
    QVERIFY(!m_window->savePlot(folder.filePath(QStringLiteral("plot.txt"))));
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("plot.txt"))));
    QVERIFY(!m_window->savePlot(folder.filePath(QStringLiteral("missing/plot.svg"))));
    QCOMPARE(m_messages.messages.size(), std::size_t(2));
    QVERIFY(m_messages.messages[0].text.find("must end in .png or .svg") != std::string::npos);
    QCOMPARE(m_messages.messages[1].icon, MessageIcon::Exclamation);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({QStringLiteral("plot.PNG"), QStringLiteral("plot.svg")}));
}

void TestRegressionWindow::tabOrderNamesAndMinimumSize()
{
    // Tab reads the settings block line by line, then the results grid row
    // by row (the disabled Check1 and the hidden buttons are passed over).
    const QStringList expected = {
        "chkConf",
        "comboProb",
        "optScale(0)",
        "optScale(1)",
        "optAllData(0)",
        "optAllData(1)",
        "cmdPlot",
        "cmdRestore",
        "optScaleX(0)",
        "optScaleX(1)",
        "cmdCompare",
        "cmdPaste",
        "chkExportU",
        "cmdCopy",
        "cmdAbout",
        "cmdClose",
        "cboBand",
        "chkEX(0)",
        "chkLog",
        "chkEX(1)",
        // The drift panel's pair comes first in each of its rows.
        "chkDrift(0)",
        "chkDriftEX(0)",
        "chkPoly(2)",
        "chkEX(2)",
        "chkDrift(1)",
        "chkDriftEX(1)",
        "chkPoly(3)",
        "chkEX(3)",
        "chkDrift(2)",
        "chkDriftEX(2)",
        "chkPoly(4)",
        "chkEX(4)",
        "chkDrift(3)",
        "chkDriftEX(3)",
        "chkPoly(5)",
        "chkEX(5)",
        "ComboBox1",
        "chkDrift(4)",
        "chkDriftEX(4)",
        "chkPoly(1)",
        "chkEX(6)",
        "chkWeights",
        "chkZigZag",
        "chkEX(7)",
    };
    QStringList visited;
    for (QWidget* w = control<QWidget>(expected.front()); visited.size() < expected.size() + 1;) {
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
            visited << w->objectName();
        w = w->nextInFocusChain();
        if (w->objectName() == expected.front())
            break;
    }
    QCOMPARE(visited, expected);

    // Every control that shows no text has a name of its own for screen readers.
    QStringList names;
    for (QWidget* w : m_window->findChildren<QWidget*>()) {
        const auto* button = qobject_cast<QAbstractButton*>(w);
        const bool textless = (button && button->text().isEmpty()) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<PlotArea*>(w) || qobject_cast<PlotFrame*>(w);
        if (!textless)
            continue;
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        names << w->accessibleName();
    }
    // Check1, chkLog, chkPoly, chkEX, chkZigZag, combos, plots, and the drift panel's Show and Export boxes.
    QCOMPARE(names.size(), 1 + 5 + 8 + 2 + 3 + 2 + 2 * static_cast<int>(kDriftMethods));
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
    QCOMPARE(control<QCheckBox>(QStringLiteral("chkLog"))->accessibleName(),
             QStringLiteral("Show logarithmic regression"));
    QCOMPARE(control<QCheckBox>(QStringLiteral("chkEX(3)"))->accessibleName(), QStringLiteral("Export 3 ord."));

    // The window cannot shrink below its client area.
    const QSize client(m_window->twipsToPixelsX(12825), m_window->twipsToPixelsY(9795));
    QCOMPARE(m_window->minimumSize(), client);
    m_window->resize(200, 150);
    QCOMPARE(m_window->size(), client);
}

void TestRegressionWindow::tickLabelsNeverOverlap()
{
    // Twenty five-digit labels a 1000 apart would run together.
    QString table;
    for (int x = 1000; x <= 19999; x += 1000)
        table += QStringLiteral("%1\t%2\r\n").arg(x).arg(1000 - x / 100);
    table += QStringLiteral("19999\t800\r\n");
    QGuiApplication::clipboard()->setText(table);
    control<QPushButton>(QStringLiteral("cmdPaste"))->click();
    QCOMPARE(caption("lblNData"), QStringLiteral("19999"));

    QList<QRect> shown;
    for (int k = 0; k < 21; ++k) {
        auto* tick = control<QLabel>(QStringLiteral("lblX(%1)").arg(k));
        if (!tick->isVisible())
            continue;
        QVERIFY2(k % 2 == 0, qPrintable(tick->text()));
        // The scene spaced the labels by an estimate of their width that the
        // font they are shown in must not exceed.
        const double estimate = estimatedTextWidth(tick->text().toStdString(), 165) * m_window->logicalDpiX() / 1440;
        QVERIFY2(QFontMetricsF(tick->font()).horizontalAdvance(tick->text()) <= estimate, qPrintable(tick->text()));
        shown << tick->geometry();
    }
    QCOMPARE(shown.size(), 10); // 0, 2000, ... 18000
    for (int i = 1; i < shown.size(); ++i)
        QVERIFY(shown[i - 1].right() < shown[i].left());

    // The image painter honours the estimate at any resolution.
    for (const double dpi : {72.0, 96.0, 300.0}) {
        QFont font;
        font.setPixelSize(static_cast<int>(std::lround(165 * dpi / 1440)));
        QVERIFY(QFontMetricsF(font).horizontalAdvance(QStringLiteral("18000")) <=
                estimatedTextWidth("18000", 165) * dpi / 1440 + 0.5);
    }
}

void TestRegressionWindow::uncertaintyControlsReachTheCalculation()
{
    QGuiApplication::clipboard()->setText(driftTable());
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdPaste")), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdPlot")), Qt::LeftButton);
    m_messages.messages.clear();

    // "Export uncertainties": a u column closes each exported block.
    control<QCheckBox>(QStringLiteral("chkExportU"))->setChecked(true);
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdCopy")), Qt::LeftButton);
    const QStringList lines = QGuiApplication::clipboard()->text().split(QLatin1Char('\r'));
    QCOMPARE(lines.at(3).count(QLatin1String("\tu\t\t")), 3); // lin, log, poly2

    // The band of the degree-2 row instead of the line's: its curve and two edges a step.
    const int curve = countPlotSegments(m_window->shownScene(), colours::kGreen);
    auto* band = control<QComboBox>(QStringLiteral("cboBand"));
    band->setCurrentIndex(band->findData(QStringLiteral("poly2")));
    emit band->activated(band->currentIndex());
    QCOMPARE(countPlotSegments(m_window->shownScene(), colours::kGreen), 3 * curve);

    // The bracketing average: its Export box adds its block with u, its Show
    // box its curve, and the band list its band (two edges a step).
    control<QCheckBox>(QStringLiteral("chkDriftEX(3)"))->setChecked(true);
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdCopy")), Qt::LeftButton);
    const QString header = QGuiApplication::clipboard()->text().split(QLatin1Char('\r')).at(3);
    QVERIFY2(header.endsWith(QLatin1String("Poly2.Reg.\tu\t\tNo.\tData\tBracket\tu\t\t")), qPrintable(header));
    const Rgb bracketColour = kDriftColours[driftIndex(DriftMethod::Bracket)];
    QCOMPARE(countPlotSegments(m_window->shownScene(), bracketColour), 0);
    control<QCheckBox>(QStringLiteral("chkDrift(3)"))->setChecked(true);
    const int steps = countPlotSegments(m_window->shownScene(), bracketColour);
    QCOMPARE(steps, 19 - 1); // FirstX 1 to MaxX 19
    band->setCurrentIndex(band->findData(QStringLiteral("bracket")));
    emit band->activated(band->currentIndex());
    QCOMPARE(countPlotSegments(m_window->shownScene(), bracketColour), 3 * steps);
    QCOMPARE(countPlotSegments(m_window->shownScene(), colours::kGreen), curve);

    // A table of two columns cannot be weighted: one message, the fits unweighted.
    control<QCheckBox>(QStringLiteral("chkWeights"))->setChecked(true);
    QCOMPARE(m_messages.messages.size(), std::size_t(1));
    QCOMPARE(m_messages.messages[0].text, std::string(kWeightsUnusableMessage));
    QVERIFY(!control<QCheckBox>(QStringLiteral("chkWeights"))->isChecked());
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdPlot")), Qt::LeftButton);
    QCOMPARE(m_messages.messages.size(), std::size_t(1)); // not repeated

    // The dialog adds each method's s and mean u.
    QTest::keyClick(m_window.get(), Qt::Key_M, Qt::ControlModifier);
    const QTableWidget& table = m_window->compareDialog()->table();
    QCOMPARE(table.columnCount(), 8); // and the mark against no correction
    QCOMPARE(table.horizontalHeaderItem(5)->text(), QStringLiteral("s"));
    QCOMPARE(table.horizontalHeaderItem(6)->text(), QStringLiteral("Mean u"));
    // The spline all but interpolates these five standards: no scatter, no u.
    for (int row = 0; row < table.rowCount(); ++row) {
        const QString u = table.item(row, 6) ? table.item(row, 6)->text() : QString();
        if (table.item(row, 0)->text() == QStringLiteral("Smoothing spline"))
            QVERIFY(u.isEmpty());
        else
            QVERIFY2(u.toDouble() > 0, qPrintable(table.item(row, 0)->text()));
    }
    // A refresh fills the same eight columns: the best row's figures bold on
    // its background, the u columns on it too but plain, numbers to the
    // right, the note as text.
    QTest::keyClick(m_window.get(), Qt::Key_M, Qt::ControlModifier);
    QCOMPARE(table.columnCount(), 8);
    QCOMPARE(table.horizontalHeaderItem(7)->text(), QStringLiteral("Note"));
    for (int row = 0; row < table.rowCount(); ++row) {
        for (int column = 0; column < 8; ++column) {
            const QTableWidgetItem* item = table.item(row, column);
            QVERIFY(item);
            QCOMPARE(item->font().bold(), row == 0 && column < 5);
            QCOMPARE(item->background().color() == QColor(204, 255, 204), row == 0); // the best row's green
            QCOMPARE(item->textAlignment() == int(Qt::AlignRight | Qt::AlignVCenter), column > 0 && column < 7);
        }
        const QString note = table.item(row, 7)->text();
        QVERIFY(note.isEmpty() || note == QLatin1String(kNoBetterThanBaseline));
    }
}

// A curve kept as a Polyline paints exactly what its unit segments paint in
// its place: the shown scene of the start state, and a hand-made line that
// leaves the plot and another on the frame.
void TestRegressionWindow::polylinesPaintLikeTheirSegments()
{
    PlotScene scene = m_window->shownScene();
    scene.items.push_back(Polyline{Canvas::Plot, -3, {900, 1200, 2500, 700, 650}, colours::kBlue});
    scene.items.push_back(Polyline{Canvas::Frame, 2000, {3000, 3001, 2990}, colours::kRed});
    PlotScene expanded = scene;
    expanded.items.clear();
    int polylines = 0;
    for (const Primitive& item : scene.items) {
        const auto* line = std::get_if<Polyline>(&item);
        if (!line) {
            expanded.items.push_back(item);
            continue;
        }
        ++polylines;
        for (std::size_t k = 0; k + 1 < line->ys.size(); ++k) {
            const double x = line->x0 + static_cast<double>(k);
            expanded.items.push_back(Segment{line->canvas, x, line->ys[k], x + 1, line->ys[k + 1], line->colour});
        }
    }
    QVERIFY(polylines >= 6); // log, row 2, the band's edges and the two above
    const QImage compact = renderSceneImage(scene, 96);
    const QImage plain = renderSceneImage(expanded, 96);
    QCOMPARE(compact.size(), plain.size());
    QVERIFY(compact == plain);
    QVERIFY(renderSceneSvg(scene, 96) == renderSceneSvg(expanded, 96));
}

QTEST_MAIN(TestRegressionWindow)

#include "test_regression_window.moc"

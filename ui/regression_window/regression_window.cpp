#include "ui/regression_window/regression_window.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QShortcut>
#include <QShowEvent>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "analysis/export_text.h"
#include "analysis/method_ranking.h"
#include "analysis/point_rejection.h"
#include "analysis/polynomial_rows.h"
#include "core/store.h"
#include "core/student_table.h"
#include "core/table_import.h"
#include "ui/regression_window/compare_methods_dialog.h"
#include "ui/regression_window/plot_widget.h"
#include "ui/regression_window/qt_locale.h"
#include "ui/regression_window/scene_painter.h"
#include "ui/twips.h"
#include "ui/window_look.h"

namespace kalibron {

namespace {

constexpr double kClientWidth = 12825;
constexpr double kClientHeight = 9795;
constexpr double kWidenedOuterWidth = 15700;

// The window's layout in twips, relative to each control's parent (the
// window, or a frame for its option buttons). Everything below the plot
// frame (y 6615 on) sits on a 345-twip row grid; the results grid takes the
// right side, settings, counts and buttons the left.
struct Place {
    const char* name;
    int left, top, width, height;
};

constexpr int kRow = 345;     // row pitch of the results grid
constexpr int kRowTop = 6690; // first row below the plot frame
constexpr int kRowHeight = 315;
constexpr int rowTop(int row) { return kRowTop + row * kRow; }

// Results grid columns.
constexpr int kColTitle = 5745, kColTitleW = 1950;
constexpr int kColOrd = 6855, kColOrdW = 840;
constexpr int kColA = 7755, kColB = 8655, kColValueW = 840;
constexpr int kColR = 9555, kColRW = 450;
constexpr int kColDiff = 10065, kColDiffW = 870;
constexpr int kColProc = 10995, kColProcW = 600;
constexpr int kColShow = 11655, kColShowW = 480;
constexpr int kColExport = 12195, kColExportW = 570;
constexpr int kBoxW = 270; // a check box without text
constexpr int centred(int column, int width) { return column + (width - kBoxW) / 2; }
// The drift methods' Show and Export boxes, ending where the Aver. diff. column begins.
constexpr int kColDriftW = 300;
constexpr int kColDriftExport = kColDiff - 60 - kColDriftW, kColDriftShow = kColDriftExport - kColDriftW;

// Left block: settings, counts and buttons.
constexpr int kFrameTop = 7080, kFrameH = 930;
constexpr int kButtonsLeft = 3390, kButtonsW = 2280;

constexpr Place kLayout[] = {
    {"pict2", 1080, 120, 11655, 6495},
    {"Label2", 12840, 120, 2655, 9135},

    {"chkConf", 60, kRowTop, 3330, kRowHeight},
    {"comboProb", 3450, kRowTop, 1650, kRowHeight},

    {"fraYScale", 60, kFrameTop, 1140, kFrameH},
    {"optScale(0)", 90, 255, 1000, 285},
    {"optScale(1)", 90, 570, 1000, 285},
    {"fraXScale", 60, kFrameTop + 990, 1140, kFrameH},
    {"optScaleX(0)", 90, 255, 1000, 285},
    {"optScaleX(1)", 90, 570, 1000, 285},
    {"fraAllData", 1260, kFrameTop, 2070, kFrameH},
    {"optAllData(0)", 90, 255, 1900, 285},
    {"optAllData(1)", 90, 570, 1900, 285},

    {"lblCapMax", 1260, 8100, 1350, kRowHeight},
    {"lblNData", 2640, 8100, 690, kRowHeight},
    {"lblCapData", 1260, 8430, 1350, kRowHeight},
    {"lblnDataOK", 2640, 8430, 690, kRowHeight},
    {"lblCapRej", 1260, 8760, 1350, kRowHeight},
    {"lblRej", 2640, 8760, 690, kRowHeight},

    {"cmdPaste", 60, 9090, 3270, kRowHeight},
    {"cmdCopy", 60, 9450, 3270, kRowHeight},
    {"cmdPlot", kButtonsLeft, kFrameTop, kButtonsW, kRowHeight},
    {"cmdRestore", kButtonsLeft, kFrameTop + 360, kButtonsW, kRowHeight},
    {"cmdBack", kButtonsLeft, kFrameTop + 720, kButtonsW, kRowHeight},
    {"cmdShowPars", kButtonsLeft, kFrameTop + 1080, kButtonsW, kRowHeight},
    {"cmdCompare", kButtonsLeft, kFrameTop + 1440, kButtonsW, kRowHeight},
    {"cmdAbout", kButtonsLeft, 9450, 1110, kRowHeight},
    {"cmdClose", kButtonsLeft + 1170, 9450, 1110, kRowHeight},

    {"lblHeadA", kColA, rowTop(0), kColValueW, kRowHeight},
    {"lblHeadB", kColB, rowTop(0), kColValueW, kRowHeight},
    {"lblHeadR", kColR, rowTop(0), kColRW, kRowHeight},
    {"lblHeadDiff", kColDiff, rowTop(0), kColDiffW, kRowHeight},
    {"lblHeadProc", kColProc, rowTop(0), kColProcW, kRowHeight},
    {"lblHeadShow", kColShow, rowTop(0), kColShowW, kRowHeight},
    {"lblHeadExport", kColExport, rowTop(0), kColExportW, kRowHeight},

    {"lblTitleLin", kColTitle, rowTop(1), kColTitleW, kRowHeight},
    {"lbl_LRa", kColA, rowTop(1), kColValueW, kRowHeight},
    {"lbl_LRb", kColB, rowTop(1), kColValueW, kRowHeight},
    {"lbl_LRr", kColR, rowTop(1), kColRW, kRowHeight},
    {"lblDiff", kColDiff, rowTop(1), kColDiffW, kRowHeight},
    {"lblDiffProc", kColProc, rowTop(1), kColProcW, kRowHeight},
    {"Check1", centred(kColShow, kColShowW), rowTop(1), kBoxW, kRowHeight},
    {"chkEX(0)", centred(kColExport, kColExportW), rowTop(1), kBoxW, kRowHeight},

    {"lblTitleLog", kColTitle, rowTop(2), kColTitleW, kRowHeight},
    {"lbl_LoRa", kColA, rowTop(2), kColValueW, kRowHeight},
    {"lbl_LoRb", kColB, rowTop(2), kColValueW, kRowHeight},
    {"lbl_LoRr", kColR, rowTop(2), kColRW, kRowHeight},
    {"lblDiffLog", kColDiff, rowTop(2), kColDiffW, kRowHeight},
    {"lblDiffProcLog", kColProc, rowTop(2), kColProcW, kRowHeight},
    {"chkLog", centred(kColShow, kColShowW), rowTop(2), kBoxW, kRowHeight},
    {"chkEX(1)", centred(kColExport, kColExportW), rowTop(2), kBoxW, kRowHeight},

    {"lblTitlePoly", kColTitle, rowTop(3), kColOrd - kColTitle - 30, 2 * kRow - 30},
    {"lblOrd(2)", kColOrd, rowTop(3), kColOrdW, kRowHeight},
    {"lblOrd(3)", kColOrd, rowTop(4), kColOrdW, kRowHeight},
    {"lblOrd(4)", kColOrd, rowTop(5), kColOrdW, kRowHeight},
    {"lblOrd(5)", kColOrd, rowTop(6), kColOrdW, kRowHeight},
    {"ComboBox1", kColOrd, rowTop(7), kColOrdW, kRowHeight},
    {"lblDiffPoly(2)", kColDiff, rowTop(3), kColDiffW, kRowHeight},
    {"lblDiffPoly(3)", kColDiff, rowTop(4), kColDiffW, kRowHeight},
    {"lblDiffPoly(4)", kColDiff, rowTop(5), kColDiffW, kRowHeight},
    {"lblDiffPoly(5)", kColDiff, rowTop(6), kColDiffW, kRowHeight},
    {"lblDiffPoly(1)", kColDiff, rowTop(7), kColDiffW, kRowHeight},
    {"lblDiffProcPoly(2)", kColProc, rowTop(3), kColProcW, kRowHeight},
    {"lblDiffProcPoly(3)", kColProc, rowTop(4), kColProcW, kRowHeight},
    {"lblDiffProcPoly(4)", kColProc, rowTop(5), kColProcW, kRowHeight},
    {"lblDiffProcPoly(5)", kColProc, rowTop(6), kColProcW, kRowHeight},
    {"lblDiffProcPoly(1)", kColProc, rowTop(7), kColProcW, kRowHeight},
    {"chkPoly(2)", centred(kColShow, kColShowW), rowTop(3), kBoxW, kRowHeight},
    {"chkPoly(3)", centred(kColShow, kColShowW), rowTop(4), kBoxW, kRowHeight},
    {"chkPoly(4)", centred(kColShow, kColShowW), rowTop(5), kBoxW, kRowHeight},
    {"chkPoly(5)", centred(kColShow, kColShowW), rowTop(6), kBoxW, kRowHeight},
    {"chkPoly(1)", centred(kColShow, kColShowW), rowTop(7), kBoxW, kRowHeight},
    {"chkEX(2)", centred(kColExport, kColExportW), rowTop(3), kBoxW, kRowHeight},
    {"chkEX(3)", centred(kColExport, kColExportW), rowTop(4), kBoxW, kRowHeight},
    {"chkEX(4)", centred(kColExport, kColExportW), rowTop(5), kBoxW, kRowHeight},
    {"chkEX(5)", centred(kColExport, kColExportW), rowTop(6), kBoxW, kRowHeight},
    {"chkEX(6)", centred(kColExport, kColExportW), rowTop(7), kBoxW, kRowHeight},

    {"lblTitleZigZag", kColTitle, rowTop(8), kColR - kColTitle - 60, kRowHeight},
    {"chkZigZag", centred(kColShow, kColShowW), rowTop(8), kBoxW, kRowHeight},
    {"chkEX(7)", centred(kColExport, kColExportW), rowTop(8), kBoxW, kRowHeight},

    // Uncertainties: whose band the plot shows (above the titles), the
    // weighting beside the fits, the export's u columns beside Paste.
    {"cboBand", kColTitle, rowTop(0), kColOrd + kColOrdW - kColTitle, kRowHeight},
    {"chkWeights", kColR, rowTop(8), kColShow - kColR - 60, kRowHeight},
    {"chkExportU", kButtonsLeft, 9090, kButtonsW, kRowHeight},

    // The drift methods: a compact panel in the a, b and r^2 columns of the
    // polynomial rows, which have no such figures; a title in the curve's
    // colour, then Show and Export as in the grid. A frame sets the panel apart
    // from the rows whose Aver. diff. and Show boxes stand beside it.
    {"fraDrift", kColA + 30, rowTop(3) - 15, kColDiff - 60 - kColA, rowTop(8) - rowTop(3) + 15},
    {"lblTitleDrift(0)", kColA + 90, rowTop(3), kColDriftShow - kColA - 120, kRowHeight},
    {"lblTitleDrift(1)", kColA + 90, rowTop(4), kColDriftShow - kColA - 120, kRowHeight},
    {"lblTitleDrift(2)", kColA + 90, rowTop(5), kColDriftShow - kColA - 120, kRowHeight},
    {"lblTitleDrift(3)", kColA + 90, rowTop(6), kColDriftShow - kColA - 120, kRowHeight},
    {"lblTitleDrift(4)", kColA + 90, rowTop(7), kColDriftShow - kColA - 120, kRowHeight},
    {"chkDrift(0)", centred(kColDriftShow, kColDriftW), rowTop(3), kBoxW, kRowHeight},
    {"chkDrift(1)", centred(kColDriftShow, kColDriftW), rowTop(4), kBoxW, kRowHeight},
    {"chkDrift(2)", centred(kColDriftShow, kColDriftW), rowTop(5), kBoxW, kRowHeight},
    {"chkDrift(3)", centred(kColDriftShow, kColDriftW), rowTop(6), kBoxW, kRowHeight},
    {"chkDrift(4)", centred(kColDriftShow, kColDriftW), rowTop(7), kBoxW, kRowHeight},
    {"chkDriftEX(0)", centred(kColDriftExport, kColDriftW), rowTop(3), kBoxW, kRowHeight},
    {"chkDriftEX(1)", centred(kColDriftExport, kColDriftW), rowTop(4), kBoxW, kRowHeight},
    {"chkDriftEX(2)", centred(kColDriftExport, kColDriftW), rowTop(5), kBoxW, kRowHeight},
    {"chkDriftEX(3)", centred(kColDriftExport, kColDriftW), rowTop(6), kBoxW, kRowHeight},
    {"chkDriftEX(4)", centred(kColDriftExport, kColDriftW), rowTop(7), kBoxW, kRowHeight},
};

const QColor kTextBlack(0, 0, 0);
const QColor kTextMagenta(255, 0, 255);
const QColor kTextOrange(255, 128, 0);
const QColor kTextDarkGreen(0, 128, 0);
const QColor kTextGreen(0, 192, 0);
const QColor kTextTeal(0, 192, 192);
const QColor kTextLightBlue(128, 128, 255);
const QColor kTextDarkBlue(0, 0, 192);

QString indexed(const char* name, int index) { return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index); }

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QLabel* staticLabel(QWidget* parent, const char* name, const QString& text, const QColor& colour = kTextBlack)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    setTextColour(label, colour);
    return label;
}

QLabel* resultLabel(QWidget* parent, const QString& name, const QColor& colour = kTextBlack)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::white);
    label->setPalette(palette);
    setTextColour(label, colour);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setIndent(2);
    return label;
}

QCheckBox* checkBox(QWidget* parent, const QString& name, bool ticked, const QString& text = {})
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setChecked(ticked);
    return box;
}

// Restores the cursor however the export ends.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The resolution of a saved PNG: the command-line tool's default, so that the
// window and `kalibron plot` give the same image.
constexpr double kSavedPlotDpi = 96;
// Opens "Compare methods…" from anywhere in the window.
constexpr QKeyCombination kCompareKey = Qt::CTRL | Qt::Key_M;

QString standardSaveFileChooser(QWidget* parent)
{
    QFileDialog dialog(parent, QStringLiteral("Save plot as"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("PNG image (*.png)"), QStringLiteral("SVG image (*.svg)")});
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.selectFile(QStringLiteral("plot.png"));
    // A name typed without an ending gets the ending of the chosen type.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter.contains(QLatin1String("*.svg")) ? QStringLiteral("svg")
                                                                        : QStringLiteral("png"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void setCaption(QLabel* label, const std::string& text) { label->setText(QString::fromStdString(text)); }

} // namespace

std::string tableTextFromClipboard(const QString& text)
{
    if (text.contains(QLatin1Char('\r')))
        return text.toStdString();
    QString withCr = text;
    withCr.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return withCr.toStdString();
}

RegressionWindow::RegressionWindow(Store& store, const RegressionWindowOptions& options, QWidget* parent)
    : QWidget(parent),
      m_store(store),
      m_options(options),
      m_locale(systemNumberLocale()),
      m_boxSink(this),
      m_sink(&m_boxSink)
{
    setUpWindowLook(*this, "frm_Reg", kRegressionCaption);

    createControls();
    applyLayout();
    applyTabOrder();
    nameControlsWithoutText();
    connectHandlers();
    // Smaller, the window would cut its controls off.
    setMinimumSize(twipsToPixelsX(kClientWidth), twipsToPixelsY(kClientHeight));
    resize(twipsToPixelsX(kClientWidth), twipsToPixelsY(kClientHeight));
}

RegressionWindow::~RegressionWindow() = default;

void RegressionWindow::createControls()
{
    m_pict2 = new PlotFrame(this);
    m_pict2->setObjectName(QStringLiteral("pict2"));
    m_pict2->setScene(&m_scene);
    m_pict1 = new PlotArea(m_pict2);
    m_pict1->setObjectName(QStringLiteral("pict1"));
    m_pict1->setScene(&m_scene);
    // Tick labels in the size the scene spaced them for (1 point = 20 twips).
    QFont tickFont = font();
    tickFont.setPointSizeF(m_options.geometry.labelFontTwips / 20.0);
    for (int k = 0; k < m_options.geometry.xLabelCount; ++k) {
        auto* label = new QLabel(QStringLiteral("0"), m_pict2);
        label->setFont(tickFont);
        label->setObjectName(indexed("lblX", k));
        label->hide();
        m_lblX.push_back(label);
    }
    for (int k = 0; k < m_options.geometry.yLabelCount; ++k) {
        auto* label = new QLabel(QStringLiteral("000"), m_pict2);
        label->setFont(tickFont);
        label->setObjectName(indexed("lblY", k));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->hide();
        m_lblY.push_back(label);
    }

    m_Label2 = new QLabel(this);
    m_Label2->setObjectName(QStringLiteral("Label2"));
    m_Label2->setAutoFillBackground(true);
    QPalette white = m_Label2->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_Label2->setPalette(white);
    m_Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_Label2->setWordWrap(true);

    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    m_cmdPlot = button("cmdPlot", "Plot and calculate");
    m_cmdRestore = button("cmdRestore", "Restore all data");
    m_cmdPaste = button("cmdPaste", "Paste data from clipboard");
    m_cmdCopy = button("cmdCopy", m_options.texts.copyButton.c_str());
    m_cmdShowPars = button("cmdShowPars", "Show parameters");
    m_cmdBack = button("cmdBack", "Back to File List");
    m_cmdAbout = button("cmdAbout", "About");
    m_cmdClose = button("cmdClose", "Close");
    m_cmdCompare = button("cmdCompare", "Compare methods\u2026");
    m_cmdCompare->setToolTip(QStringLiteral("Which method predicts a standard it has not seen best (%1)")
                                 .arg(QKeySequence(kCompareKey).toString(QKeySequence::NativeText)));
    m_cmdBack->setVisible(false);
    m_cmdShowPars->setVisible(m_options.showParametersButton);
    const auto withShortcut = [](QPushButton* b, QKeySequence::StandardKey key) {
        b->setToolTip(QStringLiteral("%1 (%2)").arg(b->text(), QKeySequence(key).toString(QKeySequence::NativeText)));
    };
    withShortcut(m_cmdPaste, QKeySequence::Paste);
    withShortcut(m_cmdCopy, QKeySequence::Copy);

    m_plotMenu = new QMenu(this);
    m_plotMenu->setObjectName(QStringLiteral("mnuPlot"));
    m_plotMenu->setTitle(QStringLiteral("Plot"));
    QAction* savePlot = m_plotMenu->addAction(QStringLiteral("Save plot as\u2026"));
    savePlot->setObjectName(QStringLiteral("mnuSavePlot"));
    connect(savePlot, &QAction::triggered, this, &RegressionWindow::mnuSavePlot_Click);
    QAction* compare = m_plotMenu->addAction(QStringLiteral("Compare methods\u2026"));
    compare->setObjectName(QStringLiteral("mnuCompare"));
    connect(compare, &QAction::triggered, this, &RegressionWindow::cmdCompare_Click);
    for (QWidget* plot : {static_cast<QWidget*>(m_pict2), static_cast<QWidget*>(m_pict1)}) {
        plot->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(plot, &QWidget::customContextMenuRequested, this,
                [this, plot](const QPoint& position) { showPlotMenu(plot, position); });
    }

    auto frame = [this](const char* name, const char* title, const char* arrayName,
                        std::array<QRadioButton*, 2>& options, const char* first, const char* second) {
        auto* group = new QGroupBox(QLatin1String(title), this);
        group->setObjectName(QLatin1String(name));
        const char* texts[2] = {first, second};
        for (int i = 0; i < 2; ++i) {
            options[static_cast<std::size_t>(i)] = new QRadioButton(QLatin1String(texts[i]), group);
            options[static_cast<std::size_t>(i)]->setObjectName(indexed(arrayName, i));
        }
        options[0]->setChecked(true);
    };
    frame("fraYScale", "Y scale", "optScale", m_optScale, "Full", "Zoom");
    frame("fraXScale", "X scale", "optScaleX", m_optScaleX, "Full", "Zoom");
    frame("fraAllData", "Y scaling at rejection", "optAllData", m_optAllData, "All data", "Only unrejected");

    m_chkConf = checkBox(this, QStringLiteral("chkConf"), true, QStringLiteral("Show confidence bandl for lin. regr."));
    m_comboProb = new QComboBox(this);
    m_comboProb->setObjectName(QStringLiteral("comboProb"));
    // Its entries line up their two columns with spaces.
    m_comboProb->setFont(fixedPitchFont(8));

    staticLabel(this, "lblCapMax", QString::fromStdString(m_options.texts.maximumCaption));
    staticLabel(this, "lblCapData", QString::fromStdString(m_options.texts.dataCountCaption));
    staticLabel(this, "lblCapRej", QStringLiteral("Rejected:"));
    m_lblNData = resultLabel(this, QStringLiteral("lblNData"));
    m_lblnDataOK = resultLabel(this, QStringLiteral("lblnDataOK"));
    m_lblRej = resultLabel(this, QStringLiteral("lblRej"));

    const char* heads[][2] = {
        {"lblHeadA", "a:"},    {"lblHeadB", "b:"},      {"lblHeadR", "r^2:"},       {"lblHeadDiff", "Aver. diff.:"},
        {"lblHeadProc", "%:"}, {"lblHeadShow", "Show"}, {"lblHeadExport", "Export"}};
    for (const auto& head : heads)
        staticLabel(this, head[0], QLatin1String(head[1]))->setAlignment(Qt::AlignCenter);

    staticLabel(this, "lblTitleLin", QStringLiteral("Linar regression"));
    m_lbl_LRa = resultLabel(this, QStringLiteral("lbl_LRa"));
    m_lbl_LRb = resultLabel(this, QStringLiteral("lbl_LRb"));
    m_lbl_LRr = resultLabel(this, QStringLiteral("lbl_LRr"));
    m_lblDiff = resultLabel(this, QStringLiteral("lblDiff"));
    m_lblDiffProc = resultLabel(this, QStringLiteral("lblDiffProc"));
    m_Check1 = checkBox(this, QStringLiteral("Check1"), true);
    m_Check1->setEnabled(false);

    staticLabel(this, "lblTitleLog", QStringLiteral("Logarithmic regression"), kTextMagenta);
    m_lbl_LoRa = resultLabel(this, QStringLiteral("lbl_LoRa"), kTextMagenta);
    m_lbl_LoRb = resultLabel(this, QStringLiteral("lbl_LoRb"), kTextMagenta);
    m_lbl_LoRr = resultLabel(this, QStringLiteral("lbl_LoRr"), kTextMagenta);
    m_lblDiffLog = resultLabel(this, QStringLiteral("lblDiffLog"), kTextMagenta);
    m_lblDiffProcLog = resultLabel(this, QStringLiteral("lblDiffProcLog"), kTextMagenta);
    m_chkLog = checkBox(this, QStringLiteral("chkLog"), true);

    auto* polyTitle = staticLabel(this, "lblTitlePoly", QStringLiteral("Polynomial regression"), kTextDarkGreen);
    polyTitle->setWordWrap(true);
    polyTitle->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Title and label colours of rows 2..5 ord.; the labels of 4 and 5 stay black.
    const QColor ordTitle[6] = {{}, {}, kTextGreen, kTextDarkGreen, kTextTeal, kTextLightBlue};
    const QColor ordLabels[6] = {kTextDarkBlue, {}, kTextGreen, kTextDarkGreen, kTextBlack, kTextBlack};
    for (int d = 2; d <= 5; ++d) {
        auto* ord = staticLabel(this, indexed("lblOrd", d).toLatin1().constData(), QStringLiteral("%1 ord.").arg(d),
                                ordTitle[d]);
        ord->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    m_ComboBox1 = new QComboBox(this);
    m_ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    for (int s = 1; s <= 5; ++s) {
        const auto i = static_cast<std::size_t>(s);
        m_lblDiffPoly[i] = resultLabel(this, indexed("lblDiffPoly", s), ordLabels[s == 1 ? 0 : s]);
        m_lblDiffProcPoly[i] = resultLabel(this, indexed("lblDiffProcPoly", s), ordLabels[s == 1 ? 0 : s]);
        m_chkPoly[i] = checkBox(this, indexed("chkPoly", s), s == 2);
    }

    staticLabel(this, "lblTitleZigZag", QStringLiteral("Zigzag between clusters of standards"), kTextOrange);
    m_chkZigZag = checkBox(this, QStringLiteral("chkZigZag"), true);

    for (int k = 0; k < 8; ++k)
        m_chkEX[static_cast<std::size_t>(k)] = checkBox(this, indexed("chkEX", k), k <= 2);

    // Short titles for the narrow panel; the full names are in the tooltips
    // and the boxes' accessible names.
    auto* driftFrame = new QFrame(this);
    driftFrame->setObjectName(QStringLiteral("fraDrift"));
    driftFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
    driftFrame->setForegroundRole(QPalette::Mid);
    const char* driftTitles[kDriftMethods] = {"Smoothing spline", "Preceding std.", "Succeeding std.",
                                              "Bracketing avg.", "No correction"};
    for (std::size_t m = 0; m < kDriftMethods; ++m) {
        const int k = static_cast<int>(m);
        const Rgb c = kDriftColours[m];
        auto* title = staticLabel(this, indexed("lblTitleDrift", k).toLatin1().constData(),
                                  QLatin1String(driftTitles[m]), QColor(c.r, c.g, c.b));
        const QString name = QLatin1String(kDriftMethodNames[m]);
        title->setToolTip(name);
        m_chkDrift[m] = checkBox(this, indexed("chkDrift", k), false);
        m_chkDrift[m]->setToolTip(QStringLiteral("Show: %1").arg(name));
        m_chkDriftEX[m] = checkBox(this, indexed("chkDriftEX", k), false);
        m_chkDriftEX[m]->setToolTip(QStringLiteral("Export: %1").arg(name));
    }

    m_chkWeights = checkBox(this, QStringLiteral("chkWeights"), false, QStringLiteral("Weight by Y errors"));
    m_chkExportU = checkBox(this, QStringLiteral("chkExportU"), false, QStringLiteral("Export uncertainties"));
    m_cboBand = new QComboBox(this);
    m_cboBand->setObjectName(QStringLiteral("cboBand"));
    m_cboBand->setAccessibleName(QStringLiteral("Method whose uncertainty band the plot shows"));
    const std::pair<const char*, const char*> bands[] = {{"Band: Linear", "lin"},
                                                         {"Band: Logarithmic", "log"},
                                                         {"Band: 2 ord.", "poly2"},
                                                         {"Band: 3 ord.", "poly3"},
                                                         {"Band: 4 ord.", "poly4"},
                                                         {"Band: 5 ord.", "poly5"},
                                                         {"Band: free ord.", "poly1"},
                                                         {"Band: Zigzag", "zigzag"},
                                                         {"Band: Spline", "spline"},
                                                         {"Band: Preceding", "preceding"},
                                                         {"Band: Succeeding", "succeeding"},
                                                         {"Band: Bracketing", "bracket"},
                                                         {"Band: Mean", "mean"}};
    for (const auto& [text, key] : bands)
        m_cboBand->addItem(QLatin1String(text), QLatin1String(key));
}

int RegressionWindow::twipsToPixelsX(double twips) const { return twipsToPixels(twips, logicalDpiX()); }

int RegressionWindow::twipsToPixelsY(double twips) const { return twipsToPixels(twips, logicalDpiY()); }

void RegressionWindow::applyLayout()
{
    for (const Place& place : kLayout) {
        auto* widget = findChild<QWidget*>(QLatin1String(place.name));
        if (!widget)
            continue;
        widget->setGeometry(twipsToPixelsX(place.left), twipsToPixelsY(place.top), twipsToPixelsX(place.width),
                            twipsToPixelsY(place.height));
    }
    const QRectF plot = plotRectInFrame(m_options.geometry, QRectF(QPointF(0, 0), QSizeF(m_pict2->size())));
    m_pict1->setGeometry(plot.toRect());
}

void RegressionWindow::applyTabOrder()
{
    // Tab follows what the eye reads: the settings block on the left, then
    // the results grid, each line by line from left to right. A frame of
    // option buttons is one place, its buttons in their order.
    struct Stop {
        int block, top, left;
        QWidget* widget;
    };
    std::vector<Stop> stops;
    for (const Place& place : kLayout) {
        auto* widget = findChild<QWidget*>(QLatin1String(place.name));
        if (!widget || widget->parentWidget() != this)
            continue;
        const int block = place.left >= kColTitle ? 1 : 0;
        if (qobject_cast<QGroupBox*>(widget)) {
            for (QRadioButton* option : widget->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly))
                stops.push_back({block, place.top, place.left, option});
        } else if (widget->focusPolicy() & Qt::TabFocus) {
            stops.push_back({block, place.top, place.left, widget});
        }
    }
    std::stable_sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) {
        return std::tie(a.block, a.top, a.left) < std::tie(b.block, b.top, b.left);
    });
    for (std::size_t i = 1; i < stops.size(); ++i)
        setTabOrder(stops[i - 1].widget, stops[i].widget);
}

void RegressionWindow::nameControlsWithoutText()
{
    // What a screen reader says for the controls that show no text.
    const auto name = [](QWidget* widget, const QString& text) { widget->setAccessibleName(text); };
    const QString rows[8] = {QStringLiteral("linear regression"),
                             QStringLiteral("logarithmic regression"),
                             QStringLiteral("2 ord."),
                             QStringLiteral("3 ord."),
                             QStringLiteral("4 ord."),
                             QStringLiteral("5 ord."),
                             QStringLiteral("polynomial of the chosen degree"),
                             QStringLiteral("zigzag between clusters of standards")};
    // chkEX(k) exports rows[k]; chkPoly(1) is the row of the chosen degree.
    for (std::size_t k = 0; k < m_chkEX.size(); ++k)
        name(m_chkEX[k], QStringLiteral("Export ") + rows[k]);
    name(m_Check1, QStringLiteral("Show ") + rows[0]);
    name(m_chkLog, QStringLiteral("Show ") + rows[1]);
    for (std::size_t s = 2; s <= 5; ++s)
        name(m_chkPoly[s], QStringLiteral("Show ") + rows[s]);
    name(m_chkPoly[1], QStringLiteral("Show ") + rows[6]);
    name(m_chkZigZag, QStringLiteral("Show ") + rows[7]);
    for (std::size_t m = 0; m < kDriftMethods; ++m) {
        const QString method = QString::fromLatin1(kDriftMethodNames[m]).toLower();
        name(m_chkDrift[m], QStringLiteral("Show ") + method);
        name(m_chkDriftEX[m], QStringLiteral("Export ") + method);
    }
    name(m_ComboBox1, QStringLiteral("Degree of the polynomial"));
    name(m_comboProb, QStringLiteral("Probability level of the confidence band"));
    name(m_pict2, QStringLiteral("Plot"));
    name(m_pict1, QStringLiteral("Plot area: click a point to reject it or take it back"));
    name(m_plotMenu, QStringLiteral("Plot menu"));
}

void RegressionWindow::connectHandlers()
{
    connect(m_cmdPlot, &QPushButton::clicked, this, &RegressionWindow::cmdPlot_Click);
    connect(m_cmdRestore, &QPushButton::clicked, this, &RegressionWindow::cmdRestore_Click);
    connect(m_cmdPaste, &QPushButton::clicked, this, &RegressionWindow::cmdPaste_Click);
    connect(m_cmdCopy, &QPushButton::clicked, this, &RegressionWindow::cmdCopy_Click);
    connect(m_cmdAbout, &QPushButton::clicked, this, &RegressionWindow::cmdAbout_Click);
    connect(m_cmdClose, &QPushButton::clicked, this, &RegressionWindow::cmdClose_Click);
    connect(m_cmdShowPars, &QPushButton::clicked, this, &RegressionWindow::cmdShowPars_Click);
    connect(m_cmdBack, &QPushButton::clicked, this, &RegressionWindow::cmdBack_Click);
    connect(m_chkConf, &QCheckBox::toggled, this, &RegressionWindow::chkConf_Click);
    connect(m_chkLog, &QCheckBox::toggled, this, &RegressionWindow::chkLog_Click);
    connect(m_chkZigZag, &QCheckBox::toggled, this, &RegressionWindow::chkZigZag_Click);
    for (int s = 1; s <= 5; ++s)
        connect(m_chkPoly[static_cast<std::size_t>(s)], &QCheckBox::toggled, this, [this, s] { chkPoly_Click(s); });
    for (int k = 0; k < static_cast<int>(m_chkEX.size()); ++k)
        connect(m_chkEX[static_cast<std::size_t>(k)], &QCheckBox::toggled, this, [this, k] { chkEX_Click(k); });
    for (int m = 0; m < static_cast<int>(kDriftMethods); ++m) {
        connect(m_chkDrift[static_cast<std::size_t>(m)], &QCheckBox::toggled, this, [this, m] { chkDrift_Click(m); });
        connect(m_chkDriftEX[static_cast<std::size_t>(m)], &QCheckBox::toggled, this,
                [this, m] { chkDriftEX_Click(m); });
    }
    // An option button's click is its becoming selected; the one it replaces
    // reports nothing.
    for (int i = 0; i < 2; ++i) {
        const auto k = static_cast<std::size_t>(i);
        connect(m_optScale[k], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                optScale_Click(i);
        });
        connect(m_optScaleX[k], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                optScaleX_Click(i);
        });
        connect(m_optAllData[k], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                optAllData_Click(i);
        });
    }
    // The user's choice in a list; Form_Activate runs the handlers itself
    // after selecting from code.
    connect(m_comboProb, &QComboBox::activated, this, &RegressionWindow::comboProb_Click);
    connect(m_ComboBox1, &QComboBox::activated, this, &RegressionWindow::ComboBox1_Click);
    connect(m_pict1, &PlotArea::mouseDown, this, &RegressionWindow::pict1_MouseDown);
    // Keyboard for the two main actions (their tooltips name the keys).
    connect(new QShortcut(QKeySequence::Paste, this), &QShortcut::activated, this, &RegressionWindow::cmdPaste_Click);
    connect(new QShortcut(QKeySequence::Copy, this), &QShortcut::activated, this, &RegressionWindow::cmdCopy_Click);
    connect(new QShortcut(QKeySequence(kCompareKey), this), &QShortcut::activated, this,
            &RegressionWindow::cmdCompare_Click);
    connect(m_cmdCompare, &QPushButton::clicked, this, &RegressionWindow::cmdCompare_Click);
    connect(m_chkWeights, &QCheckBox::toggled, this, &RegressionWindow::chkWeights_Click);
    connect(m_chkExportU, &QCheckBox::toggled, this, &RegressionWindow::chkExportU_Click);
    connect(m_cboBand, &QComboBox::activated, this, &RegressionWindow::cboBand_Click);
}

void RegressionWindow::setMessageSink(MessageSink* sink) { m_sink = sink ? sink : &m_boxSink; }

void RegressionWindow::setBoxRunner(BoxRunner runner)
{
    m_boxRunner = runner ? std::move(runner) : BoxRunner(runBoxModally);
    m_boxSink.setRunner(m_boxRunner);
}

void RegressionWindow::setSaveFileChooser(SaveFileChooser chooser) { m_saveFileChooser = std::move(chooser); }

RegressionSettings RegressionWindow::readSettings() const
{
    RegressionSettings settings;
    // Only a ticked box counts; a greyed one (partially checked) does not.
    auto ticked = [](const QCheckBox* box) { return box->checkState() == Qt::Checked; };
    settings.chkZigZag = ticked(m_chkZigZag);
    settings.chkConf = ticked(m_chkConf);
    settings.chkLog = ticked(m_chkLog);
    for (std::size_t s = 1; s <= 5; ++s)
        settings.chkPoly[s] = ticked(m_chkPoly[s]);
    settings.ComboBox1 = m_ComboBox1->currentText().toStdString();
    settings.yFull = m_optScale[0]->isChecked();
    settings.xFull = m_optScaleX[0]->isChecked();
    for (std::size_t k = 0; k < 8; ++k)
        settings.chkEX[k] = ticked(m_chkEX[k]);
    settings.weightByYErrors = ticked(m_chkWeights);
    settings.exportUncertainties = ticked(m_chkExportU);
    settings.bandMethod = m_cboBand->currentData().toString().toStdString();
    for (std::size_t m = 0; m < kDriftMethods; ++m) {
        settings.chkDrift[m] = ticked(m_chkDrift[m]);
        settings.chkDriftEX[m] = ticked(m_chkDriftEX[m]);
    }
    return settings;
}

void RegressionWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Every show from code (first show, and each return from the file list)
    // activates. Not on window-system activation: that also follows every
    // message box and would reset both lists each time.
    if (!event->spontaneous())
        Form_Activate();
}

void RegressionWindow::Form_Activate()
{
    {
        const QSignalBlocker block(m_ComboBox1);
        m_ComboBox1->clear();
        for (int d = 2; d <= 25; ++d)
            m_ComboBox1->addItem(QString::number(d));
        m_ComboBox1->setCurrentIndex(4);
    }
    // Without recalculation on activation the lists are still reset, but new
    // data show only at the next setting change or "Plot and calculate".
    const bool recalculate = m_options.recalculateOnActivation;
    if (recalculate)
        ComboBox1_Click();
    {
        const QSignalBlocker block(m_comboProb);
        m_comboProb->clear();
        for (const std::string_view level : kProbabilityLevels)
            m_comboProb->addItem(QString::fromUtf8(level.data(), static_cast<qsizetype>(level.size())));
        m_comboProb->setCurrentIndex(2);
    }
    if (recalculate)
        comboProb_Click();
    m_store.ProbIndex = 3;
    if (m_store.FileListShown)
        m_cmdBack->setVisible(true);
    if (recalculate)
        A_PLOT();
}

void RegressionWindow::A_PLOT()
{
    const RegressionSettings settings = readSettings();
    CalculationResult result = kalibron::A_PLOT(m_store, settings, *m_sink, m_locale, m_options.geometry,
                                                m_options.calculation, &m_scene.items);
    // Errors that cannot weight the fits were reported once; the box then
    // shows what was fitted rather than repeat the message at every change.
    if (settings.weightByYErrors && result.ran && !result.fits.weighted && m_store.nPoints > 1) {
        const QSignalBlocker block(m_chkWeights);
        m_chkWeights->setChecked(false);
    }
    showResult(std::move(result));
    if (m_compare && m_compare->isVisible())
        showComparison();
}

void RegressionWindow::cmdCompare_Click()
{
    if (!m_compare) {
        m_compare = new CompareMethodsDialog(this);
        m_compare->setModal(false);
    }
    showComparison();
    m_compare->show();
    m_compare->raise();
}

void RegressionWindow::showComparison()
{
    // The ranking reads the standards as the last calculation's ScanData left them.
    MethodRanking ranking = rankMethods(m_store, freeDegree(m_ComboBox1->currentText().toStdString()));
    addUncertaintySummaries(ranking, m_store, m_chkWeights->checkState() == Qt::Checked);
    m_compare->setRanking(ranking, m_locale);
}

void RegressionWindow::showResult(CalculationResult result)
{
    if (!result.ran)
        return;
    const ResultLabels& l = result.labels;
    if (l.lblNData)
        setCaption(m_lblNData, *l.lblNData);
    if (l.lblnDataOK)
        setCaption(m_lblnDataOK, *l.lblnDataOK);
    if (l.lblRej)
        setCaption(m_lblRej, *l.lblRej);
    setCaption(m_lbl_LRa, l.lbl_LRa);
    setCaption(m_lbl_LRb, l.lbl_LRb);
    setCaption(m_lbl_LRr, l.lbl_LRr);
    setCaption(m_lblDiff, l.lblDiff);
    setCaption(m_lblDiffProc, l.lblDiffProc);
    setCaption(m_lbl_LoRa, l.lbl_LoRa);
    setCaption(m_lbl_LoRb, l.lbl_LoRb);
    setCaption(m_lbl_LoRr, l.lbl_LoRr);
    setCaption(m_lblDiffLog, l.lblDiffLog);
    setCaption(m_lblDiffProcLog, l.lblDiffProcLog);
    for (std::size_t s = 1; s <= 5; ++s) {
        setCaption(m_lblDiffPoly[s], l.lblDiffPoly[s]);
        setCaption(m_lblDiffProcPoly[s], l.lblDiffProcPoly[s]);
    }
    if (l.Label2) {
        // The parameter text ends its lines with CR LF; a label breaks at LF.
        QString parameters = QString::fromStdString(*l.Label2);
        parameters.remove(QLatin1Char('\r'));
        m_Label2->setText(parameters);
    }

    // Keep what the labels show now, counts included, for the export.
    m_labels = l;
    m_labels.lblNData = m_lblNData->text().toStdString();
    m_labels.lblnDataOK = m_lblnDataOK->text().toStdString();
    m_labels.lblRej = m_lblRej->text().toStdString();

    m_fits = std::move(result.fits);
    m_scene = std::move(result.scene);
    m_pict1->sceneChanged();
    m_pict2->update();
    showTickLabels();
}

void RegressionWindow::showTickLabels()
{
    for (QLabel* label : m_lblX)
        label->hide();
    for (QLabel* label : m_lblY)
        label->hide();
    const QSizeF twipsToPixel(m_pict2->width() / m_scene.geometry.frameWidth,
                              m_pict2->height() / m_scene.geometry.frameHeight);
    for (const TickLabel& tick : m_scene.labels) {
        const auto& labels = tick.axis == TickLabel::Axis::X ? m_lblX : m_lblY;
        if (tick.index < 0 || tick.index >= static_cast<int>(labels.size()))
            continue;
        QLabel* label = labels[static_cast<std::size_t>(tick.index)];
        label->setText(QString::fromStdString(tick.text));
        const QRectF rect = tickLabelRect(tick, QSizeF(label->sizeHint()), twipsToPixel);
        label->setGeometry(rect.toAlignedRect());
        label->show();
    }
}

void RegressionWindow::cmdPlot_Click() { A_PLOT(); }

void RegressionWindow::chkConf_Click() { A_PLOT(); }

void RegressionWindow::chkLog_Click() { A_PLOT(); }

void RegressionWindow::chkZigZag_Click() { A_PLOT(); }

void RegressionWindow::chkPoly_Click(int /*index*/) { A_PLOT(); }

// An export block holds the fit of the current data, so ticking one fits
// its method even when it is not shown.
void RegressionWindow::chkEX_Click(int /*index*/) { A_PLOT(); }

void RegressionWindow::chkDrift_Click(int /*index*/) { A_PLOT(); }

void RegressionWindow::chkDriftEX_Click(int /*index*/) { A_PLOT(); }

void RegressionWindow::chkWeights_Click() { A_PLOT(); }

// The export reads the fits of the last calculation: with the box ticked
// they must carry u.
void RegressionWindow::chkExportU_Click() { A_PLOT(); }

void RegressionWindow::cboBand_Click() { A_PLOT(); }

void RegressionWindow::optScale_Click(int /*index*/) { A_PLOT(); }

void RegressionWindow::optScaleX_Click(int /*index*/) { A_PLOT(); }

void RegressionWindow::optAllData_Click(int index)
{
    if (index == 0 || index == 1)
        m_store.AllData = index == 0;
    A_PLOT();
}

void RegressionWindow::comboProb_Click()
{
    const int position = m_comboProb->currentIndex();
    if (position >= 0)
        m_store.ProbIndex = position + 1;
    A_PLOT();
}

void RegressionWindow::ComboBox1_Click() { A_PLOT(); }

void RegressionWindow::cmdRestore_Click()
{
    const int last = m_store.lastPosition();
    for (int x = 1; x <= last; ++x)
        m_store.Rejected[static_cast<std::size_t>(x)] = ValueCell(0.0);
    m_store.nPoints = m_store.nPointsAll;
    A_PLOT();
}

void RegressionWindow::cmdPaste_Click()
{
    ImportClipboard(m_store, tableTextFromClipboard(QGuiApplication::clipboard()->text()), *m_sink);
    A_PLOT();
}

void RegressionWindow::cmdCopy_Click()
{
    const BusyCursor busy;
    m_store.ClipOut = buildExport(m_store, m_fits, readSettings(), m_locale, m_options.exportFormat);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromStdString(m_store.ClipOut));
}

void RegressionWindow::cmdAbout_Click()
{
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(m_options.texts.aboutTitle),
                    QString::fromStdString(m_options.texts.aboutText), QMessageBox::Ok, this);
    m_boxRunner(box);
}

void RegressionWindow::cmdClose_Click() { QCoreApplication::quit(); }

void RegressionWindow::cmdShowPars_Click()
{
    const int frameWidth = frameGeometry().width() - width();
    resize(twipsToPixelsX(kWidenedOuterWidth) - frameWidth, height());
}

void RegressionWindow::cmdBack_Click()
{
    if (m_backHandler)
        m_backHandler();
}

void RegressionWindow::pict1_MouseDown(Qt::MouseButton button, const QPointF& position)
{
    const QPointF data = pixelToData(m_scene.scale, QSizeF(m_pict1->size()), position);
    if (!isValidPoint(data))
        return;
    const PrimitiveList marks = togglePointsAt(m_store, m_scene.scale, data.x(), data.y(), button == Qt::LeftButton);
    m_scene.items.insert(m_scene.items.end(), marks.begin(), marks.end());
    m_pict1->sceneChanged();
}

void RegressionWindow::showPlotMenu(QWidget* source, const QPoint& position)
{
    m_plotMenu->popup(source->mapToGlobal(position));
}

void RegressionWindow::mnuSavePlot_Click()
{
    const QString path = m_saveFileChooser ? m_saveFileChooser(this) : standardSaveFileChooser(this);
    if (!path.isEmpty())
        savePlot(path);
}

bool RegressionWindow::savePlot(const QString& path)
{
    const auto refuse = [this, &path](const QString& problem) {
        Message message;
        message.text = QStringLiteral("Cannot save the plot as %1: %2").arg(path, problem).toStdString();
        message.icon = MessageIcon::Exclamation;
        m_sink->show(message);
        return false;
    };
    QByteArray bytes;
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        bytes = renderSceneSvg(m_scene, kSavedPlotDpi);
        if (bytes.isEmpty())
            return refuse(QStringLiteral("the image cannot be made."));
    } else if (path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) {
        const QImage image = renderSceneImage(m_scene, kSavedPlotDpi);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (image.isNull() || !image.save(&buffer, "PNG"))
            return refuse(QStringLiteral("the image cannot be made."));
    } else {
        return refuse(QStringLiteral("the name must end in .png or .svg."));
    }
    // Written whole or not at all: an existing file stays as it was on failure.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return refuse(file.errorString() + QLatin1Char('.'));
    return true;
}

void RegressionWindow::applySettings(const RegressionSettings& settings)
{
    const auto tick = [](QCheckBox* box, bool on) {
        const QSignalBlocker block(box);
        box->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    };
    tick(m_chkZigZag, settings.chkZigZag);
    tick(m_chkConf, settings.chkConf);
    tick(m_chkLog, settings.chkLog);
    for (std::size_t s = 1; s <= 5; ++s)
        tick(m_chkPoly[s], settings.chkPoly[s]);
    for (std::size_t k = 0; k < 8; ++k)
        tick(m_chkEX[k], settings.chkEX[k]);
    for (std::size_t m = 0; m < kDriftMethods; ++m) {
        tick(m_chkDrift[m], settings.chkDrift[m]);
        tick(m_chkDriftEX[m], settings.chkDriftEX[m]);
    }
    tick(m_chkWeights, settings.weightByYErrors);
    tick(m_chkExportU, settings.exportUncertainties);
    {
        // A degree the list does not hold (before the first activation) is
        // added, so that readSettings gives back what was applied.
        const QSignalBlocker block(m_ComboBox1);
        const QString degree = QString::fromStdString(settings.ComboBox1);
        int at = m_ComboBox1->findText(degree);
        if (at < 0 && !degree.isEmpty()) {
            m_ComboBox1->addItem(degree);
            at = m_ComboBox1->count() - 1;
        }
        if (at >= 0)
            m_ComboBox1->setCurrentIndex(at);
    }
    for (std::size_t i = 0; i < 2; ++i) {
        const QSignalBlocker blockY(m_optScale[i]), blockX(m_optScaleX[i]);
        m_optScale[i]->setChecked(settings.yFull == (i == 0));
        m_optScaleX[i]->setChecked(settings.xFull == (i == 0));
    }
    const QSignalBlocker block(m_cboBand);
    const int band = m_cboBand->findData(QString::fromStdString(settings.bandMethod));
    if (band >= 0)
        m_cboBand->setCurrentIndex(band);
}

void RegressionWindow::setProbabilityLevel(int level)
{
    if (level < 1 || level > static_cast<int>(std::size(kProbabilityLevels)))
        return;
    const QSignalBlocker block(m_comboProb);
    if (m_comboProb->count() == 0)
        for (const std::string_view text : kProbabilityLevels)
            m_comboProb->addItem(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    m_comboProb->setCurrentIndex(level - 1);
    m_store.ProbIndex = level;
}

int RegressionWindow::probabilityLevel() const { return m_store.ProbIndex.value_or(0); }

} // namespace kalibron

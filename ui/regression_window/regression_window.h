#pragma once

#include <QPointF>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "analysis/calculation.h"
#include "core/messages.h"
#include "core/number_format.h"
#include "ui/regression_window/message_box_sink.h"

class QCheckBox;
class QMenu;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace kalibron {

class CompareMethodsDialog;
class PlotArea;
class PlotFrame;
struct Store;

inline constexpr const char* kRegressionCaption =
    "KALIBRON - calculates interpolated values for samples between standard measurements";

// The clipboard text as the table import reads it. Spreadsheets on this
// platform end lines with LF alone, which the import does not take as a line
// end; a text without any CR therefore gets CR LF line ends.
std::string tableTextFromClipboard(const QString& text);

// frm_Reg: the regression window. Reads its controls into RegressionSettings,
// runs the calculation and shows the returned labels and plot scene.
class RegressionWindow : public QWidget {
    Q_OBJECT
public:
    explicit RegressionWindow(Store& store, const RegressionWindowOptions& options = {}, QWidget* parent = nullptr);
    ~RegressionWindow() override;

    // Where messages go; nullptr restores the message boxes.
    void setMessageSink(MessageSink* sink);
    MessageSink& messageSink() { return *m_sink; }
    // How boxes of this window (messages, About) are shown; default modal.
    void setBoxRunner(BoxRunner runner);
    // What "Back to File List" does; set by the file list window.
    void setBackHandler(std::function<void()> handler) { m_backHandler = std::move(handler); }
    // Asks where "Save plot as…" writes (a .png or .svg path; empty: cancelled).
    // Default: the standard save dialog.
    using SaveFileChooser = std::function<QString(QWidget* parent)>;
    void setSaveFileChooser(SaveFileChooser chooser);

    // Writes the plot as shown (rejection marks included) to `path`, a PNG or
    // SVG image by its ending, through the painters of the command-line tool
    // at its default 96 dpi; whole or not at all. A failure goes to the
    // message sink; returns whether the file was written.
    bool savePlot(const QString& path);

    // Form_Activate, for the window that brings this one up again.
    void activate() { Form_Activate(); }

    RegressionSettings readSettings() const;
    const PlotScene& shownScene() const { return m_scene; }
    const ResultLabels& shownLabels() const { return m_labels; }
    int twipsToPixelsX(double twips) const;
    int twipsToPixelsY(double twips) const;

    void Form_Activate();
    void A_PLOT();
    void cmdPlot_Click();
    void chkConf_Click();
    void chkLog_Click();
    void chkZigZag_Click();
    void chkPoly_Click(int index);
    void chkEX_Click(int index);
    void chkDrift_Click(int index);   // Show box of a drift method (DriftMethod)
    void chkDriftEX_Click(int index); // its Export box
    void chkWeights_Click();
    void chkExportU_Click();
    void cboBand_Click();
    void optScale_Click(int index);
    void optScaleX_Click(int index);
    void optAllData_Click(int index);
    void comboProb_Click();
    void ComboBox1_Click();
    void cmdRestore_Click();
    void cmdPaste_Click();
    void cmdCopy_Click();
    void cmdAbout_Click();
    void cmdClose_Click();
    void cmdShowPars_Click();
    void cmdBack_Click();
    void pict1_MouseDown(Qt::MouseButton button, const QPointF& position);
    void mnuSavePlot_Click();
    void cmdCompare_Click();
    // The "Compare methods…" dialog, once opened.
    CompareMethodsDialog* compareDialog() const { return m_compare; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void applyLayout();
    void applyTabOrder();
    void nameControlsWithoutText();
    void connectHandlers();
    void showPlotMenu(QWidget* source, const QPoint& position);
    void showComparison();
    void showResult(CalculationResult result);
    void showTickLabels();

    Store& m_store;
    RegressionWindowOptions m_options;
    NumberLocale m_locale;
    MessageBoxSink m_boxSink;
    MessageSink* m_sink;
    BoxRunner m_boxRunner = runBoxModally;
    std::function<void()> m_backHandler;
    SaveFileChooser m_saveFileChooser;
    QMenu* m_plotMenu = nullptr;
    QPushButton* m_cmdCompare = nullptr;
    CompareMethodsDialog* m_compare = nullptr;

    PlotScene m_scene;
    ResultLabels m_labels;
    FitResults m_fits; // what the export reads

    PlotFrame* m_pict2 = nullptr;
    PlotArea* m_pict1 = nullptr;
    std::vector<QLabel*> m_lblX, m_lblY;

    QPushButton *m_cmdPlot = nullptr, *m_cmdRestore = nullptr, *m_cmdPaste = nullptr, *m_cmdCopy = nullptr;
    QPushButton *m_cmdShowPars = nullptr, *m_cmdBack = nullptr, *m_cmdAbout = nullptr, *m_cmdClose = nullptr;
    std::array<QRadioButton*, 2> m_optScale{}, m_optScaleX{}, m_optAllData{};
    QCheckBox* m_chkConf = nullptr;
    QComboBox* m_comboProb = nullptr;
    QCheckBox *m_Check1 = nullptr, *m_chkLog = nullptr, *m_chkZigZag = nullptr;
    std::array<QCheckBox*, 6> m_chkPoly{};
    std::array<QCheckBox*, 8> m_chkEX{};
    QComboBox* m_ComboBox1 = nullptr;
    QLabel* m_Label2 = nullptr;
    QCheckBox *m_chkWeights = nullptr, *m_chkExportU = nullptr;
    QComboBox* m_cboBand = nullptr;
    std::array<QCheckBox*, kDriftMethods> m_chkDrift{}, m_chkDriftEX{};

    QLabel *m_lblNData = nullptr, *m_lblnDataOK = nullptr, *m_lblRej = nullptr;
    QLabel *m_lbl_LRa = nullptr, *m_lbl_LRb = nullptr, *m_lbl_LRr = nullptr, *m_lblDiff = nullptr,
           *m_lblDiffProc = nullptr;
    QLabel *m_lbl_LoRa = nullptr, *m_lbl_LoRb = nullptr, *m_lbl_LoRr = nullptr, *m_lblDiffLog = nullptr,
           *m_lblDiffProcLog = nullptr;
    std::array<QLabel*, 6> m_lblDiffPoly{}, m_lblDiffProcPoly{};

public:
    // Sets the setting controls as readSettings reads them (a restored
    // session), without recalculating: the caller decides when to.
    void applySettings(const RegressionSettings& settings);
    // The probability level of the band, 1..6 in the order of its list; a
    // level outside that range is ignored. 0 while none has been chosen.
    void setProbabilityLevel(int level);
    int probabilityLevel() const;
};

} // namespace kalibron

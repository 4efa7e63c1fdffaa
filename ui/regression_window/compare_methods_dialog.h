#pragma once

#include <QDialog>
#include <QWidget>

#include <vector>

#include "analysis/method_ranking.h"
#include "core/number_format.h"

class QLabel;
class QPushButton;
class QShowEvent;
class QTableWidget;

namespace kalibron {

// Bars of the leave-one-out mean errors, best first; painted as they are given.
class RankingBars : public QWidget {
public:
    explicit RankingBars(QWidget* parent = nullptr);
    void setRanking(const MethodRanking& ranking);
    QSize sizeHint() const override { return {260, 220}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MethodRanking m_ranking;
};

// "Compare methods…": every method of the window sorted by how well it
// predicts a standard it has not seen, beside its in-sample deviation, and a
// bar chart of the leave-one-out errors. The window hands it a new ranking
// after every recalculation while it is open. It fits the screen it shows on.
class CompareMethodsDialog : public QDialog {
public:
    explicit CompareMethodsDialog(QWidget* parent = nullptr);
    void setRanking(const MethodRanking& ranking, const NumberLocale& locale);
    const QTableWidget& table() const { return *m_table; }
    void cmdClose_Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fitToScreen();

    QPushButton* m_cmdClose = nullptr;
    QTableWidget* m_table = nullptr;
    RankingBars* m_bars = nullptr;
    QLabel* m_range = nullptr;
};

} // namespace kalibron

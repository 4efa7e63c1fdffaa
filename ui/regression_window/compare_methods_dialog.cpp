#include "ui/regression_window/compare_methods_dialog.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "regression/rounding.h"

namespace kalibron {

namespace {

const QColor kBestBackground(204, 255, 204);
const QColor kBar(128, 128, 255);
const QColor kBestBar(0, 160, 0);
// Room for the table's columns and the bars beside them, all methods in view.
const QSize kPreferredSize(1280, 440);

QString rounded(double value, const NumberLocale& locale)
{
    return QString::fromStdString(Rounding(ValueCell(value), locale));
}

} // namespace

RankingBars::RankingBars(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("barsRanking"));
    setAccessibleName(QStringLiteral("Leave-one-out mean error of each method"));
}

void RankingBars::setRanking(const MethodRanking& ranking)
{
    m_ranking = ranking;
    update();
}

void RankingBars::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    double largest = 0;
    for (const MethodScore& method : m_ranking.methods)
        if (method.loo)
            largest = std::max(largest, method.loo->mean);
    const int rows = static_cast<int>(m_ranking.methods.size());
    if (rows == 0 || !(largest > 0))
        return;
    const QFontMetrics metrics(font());
    const int nameWidth = metrics.horizontalAdvance(QStringLiteral("No correction (mean)")) + 8;
    const double rowHeight = static_cast<double>(height() - 8) / rows;
    const double barSpace = width() - nameWidth - 8;
    for (int i = 0; i < rows; ++i) {
        const MethodScore& method = m_ranking.methods[static_cast<std::size_t>(i)];
        const double top = 4 + i * rowHeight;
        painter.setPen(Qt::black);
        painter.drawText(QRectF(4, top, nameWidth - 8, rowHeight), Qt::AlignVCenter | Qt::AlignRight,
                         QString::fromStdString(method.name));
        if (!method.loo)
            continue;
        const double length = barSpace * method.loo->mean / largest;
        painter.fillRect(QRectF(nameWidth, top + rowHeight * 0.15, std::max(length, 1.0), rowHeight * 0.7),
                         i == 0 ? kBestBar : kBar);
    }
}

CompareMethodsDialog::CompareMethodsDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgCompareMethods"));
    setWindowTitle(QStringLiteral("Compare methods"));
    // After the leave-one-out figures: each method's spread (MSWD of a
    // weighted fit, s otherwise; setRanking names it), its mean standard
    // uncertainty over the samples, and the mark of a correction that
    // predicts the standards no better than their mean.
    m_table = new QTableWidget(0, 8, this);
    m_table->setObjectName(QStringLiteral("tblRanking"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Method"), QStringLiteral("In-sample mean diff."),
                                        QStringLiteral("Leave-one-out mean err."), QStringLiteral("err.%"),
                                        QStringLiteral("Largest err. (at X)"), QStringLiteral("s"),
                                        QStringLiteral("Mean u"), QStringLiteral("Note")});
    m_table->verticalHeader()->setVisible(false);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_bars = new RankingBars(this);
    m_range = new QLabel(this);
    m_range->setObjectName(QStringLiteral("lblRankingRange"));
    m_range->setWordWrap(true);

    m_table->setAccessibleName(QStringLiteral("Methods ranked by leave-one-out mean error"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setObjectName(QStringLiteral("buttonsCompare"));
    m_cmdClose = buttons->button(QDialogButtonBox::Close);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &CompareMethodsDialog::cmdClose_Click);

    auto* columns = new QHBoxLayout;
    columns->addWidget(m_table, 5);
    columns->addWidget(m_bars, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(m_range);
    layout->addWidget(buttons);
    resize(kPreferredSize);
}

void CompareMethodsDialog::cmdClose_Click() { close(); }

void CompareMethodsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        fitToScreen();
}

void CompareMethodsDialog::fitToScreen()
{
    // The table scrolls, so the dialog gives way to a small screen rather
    // than reach past its edge; the frame the window system adds is kept
    // inside as well.
    const QScreen* shownOn = screen();
    if (!shownOn)
        return;
    const QRect available = shownOn->availableGeometry();
    const QSize frame = frameGeometry().size() - size();
    const QSize room = available.size() - frame;
    resize(std::min(width(), room.width()), std::min(height(), room.height()));
    const QRect outer = frameGeometry();
    const int left = std::clamp(outer.left(), available.left(), available.right() + 1 - outer.width());
    const int top = std::clamp(outer.top(), available.top(), available.bottom() + 1 - outer.height());
    move(left, top);
}

void CompareMethodsDialog::setRanking(const MethodRanking& ranking, const NumberLocale& locale)
{
    const bool weighted = std::any_of(ranking.methods.begin(), ranking.methods.end(),
                                      [](const MethodScore& method) { return method.weighted; });
    m_table->setHorizontalHeaderItem(5, new QTableWidgetItem(weighted ? QStringLiteral("MSWD") : QStringLiteral("s")));
    m_table->setRowCount(static_cast<int>(ranking.methods.size()));
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const MethodScore& method = ranking.methods[static_cast<std::size_t>(row)];
        const bool best = row == 0 && method.loo;
        QStringList cells{QString::fromStdString(method.name)};
        cells << (method.inSample ? rounded(method.inSample->mean, locale) : QString());
        if (method.loo) {
            cells << rounded(method.loo->mean, locale) << rounded(method.loo->meanPct, locale)
                  << QStringLiteral("%1 (%2)").arg(rounded(method.loo->max, locale)).arg(method.loo->maxAt);
        } else {
            cells << QStringLiteral("no figure") << QString() << QString();
        }
        // The zigzag is never weighted: its s stays an s.
        cells << (method.spread ? (weighted && !method.weighted ? QStringLiteral("s = %1") : QStringLiteral("%1"))
                                      .arg(rounded(*method.spread, locale))
                                : QString());
        cells << (method.meanU ? rounded(*method.meanU, locale) : QString());
        cells << (method.noBetterThanBaseline ? QLatin1String(kNoBetterThanBaseline) : QString());
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells.at(column));
            if (column > 0 && column < 7)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (best) {
                item->setBackground(kBestBackground);
                // The figures the ranking rests on stand out; the u columns and the note do not.
                if (column < 5) {
                    QFont font = item->font();
                    font.setBold(true);
                    item->setFont(font);
                }
            }
            m_table->setItem(row, column, item);
        }
    }
    m_bars->setRanking(ranking);
    m_range->setText(ranking.firstStandard
                         ? QStringLiteral("Standards from X = %1 to %2; samples outside are extrapolated. Each "
                                          "standard is predicted by the method fitted without it.")
                               .arg(*ranking.firstStandard)
                               .arg(*ranking.lastStandard)
                         : QStringLiteral("No usable standards."));
}

} // namespace kalibron

// Both windows as a new user meets them, offscreen: every control has a name
// a screen reader can say, and the blue field of selected files scrolls to
// its last line.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <sys/types.h>
#include <utime.h>

#include <memory>

#include "core/messages.h"
#include "core/store.h"
#include "programs/program_settings.h"
#include "programs/real_time_coordinator.h"
#include "programs/startup.h"
#include "ui/file_list_window/file_list_window.h"
#include "ui/regression_window/compare_methods_dialog.h"
#include "ui/regression_window/regression_window.h"

using namespace kalibron;

namespace {

// A widget the user acts on: it takes the focus, is a kind of control, or
// offers a context menu of its own (the plot).
bool isControl(const QWidget* widget)
{
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QAbstractItemView*>(widget) ||
        qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QComboBox*>(widget) ||
        qobject_cast<const QAbstractSpinBox*>(widget) || qobject_cast<const QMenu*>(widget) ||
        qobject_cast<const QScrollArea*>(widget) || (widget->focusPolicy() & Qt::TabFocus) ||
        widget->contextMenuPolicy() == Qt::CustomContextMenu;
}

// The parts Qt builds inside a control (a combo box's list, a table's
// headers, scroll bars) are named by the control.
bool insideAControl(const QWidget* widget, const QWidget* window)
{
    if (qobject_cast<const QScrollBar*>(widget))
        return true;
    for (const QWidget* up = widget->parentWidget(); up && up != window; up = up->parentWidget())
        if (qobject_cast<const QAbstractItemView*>(up) || qobject_cast<const QComboBox*>(up) ||
            qobject_cast<const QAbstractSpinBox*>(up) || qobject_cast<const QLineEdit*>(up) ||
            qobject_cast<const QMenu*>(up))
            return true;
    return false;
}

// The name a screen reader gives each control of `window` (hidden ones
// too), as "objectName=name": its accessible name, else the text a button
// shows, else the text of the label it is the buddy of. A control without
// one gives an empty entry. (Qt on Linux speaks a combo box's current text as
// its name, so the interface's own name proves nothing.)
QStringList spokenNames(QWidget& window)
{
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets.prepend(&window);
    QStringList names;
    for (QWidget* widget : widgets) {
        if (!isControl(widget) || insideAControl(widget, &window))
            continue;
        QString name = widget->accessibleName();
        if (const auto* button = qobject_cast<QAbstractButton*>(widget); name.isEmpty() && button)
            name = button->text();
        for (const QLabel* label : window.findChildren<QLabel*>())
            if (name.isEmpty() && label->buddy() == widget)
                name = label->text();
        name = name.trimmed();
        if (name.isEmpty())
            qWarning("%s: control %s (%s) has no accessible name", qPrintable(window.objectName()),
                     qPrintable(widget->objectName()), widget->metaObject()->className());
        names << (name.isEmpty() ? QString() : widget->objectName() + QLatin1Char('=') + name);
        if (auto* menu = qobject_cast<QMenu*>(widget))
            for (const QAction* action : menu->actions())
                names << (action->text().isEmpty() ? QString()
                                                   : action->objectName() + QLatin1Char('=') + action->text());
    }
    return names;
}

void makeFile(const QDir& dir, const QString& name, qint64 time)
{
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    const struct utimbuf times {
        static_cast<time_t>(time), static_cast<time_t>(time)
    };
    QCOMPARE(::utime(QFile::encodeName(dir.filePath(name)).constData(), &times), 0);
}

} // namespace

class TestWindowAccess : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everyControlHasASpokenName();
    void selectedFilesScrollToTheLastLine();

private:
    ProgramProfile m_profile = kalibronHeVeviRavo1Profile();
    CollectingMessageSink m_messages;
    std::unique_ptr<Store> m_store;
    std::unique_ptr<RealTimeCoordinator> m_windows;
};

void TestWindowAccess::init()
{
    m_store = startUp(m_profile, QCoreApplication::applicationFilePath().toLocal8Bit().constData(), m_messages);
    m_windows = std::make_unique<RealTimeCoordinator>(*m_store, m_profile);
    m_windows->fileList().setMessageSink(&m_messages);
    m_windows->regression().setMessageSink(&m_messages);
    m_windows->regression().setBoxRunner([](QMessageBox&) {});
    m_windows->fileList().show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_windows->fileList()));
}

void TestWindowAccess::cleanup()
{
    m_windows.reset();
    m_store.reset();
}

void TestWindowAccess::everyControlHasASpokenName()
{
    RegressionWindow& regression = m_windows->regression();
    regression.show();
    regression.cmdCompare_Click();
    QVERIFY(regression.compareDialog());

    struct Expected {
        QWidget* window;
        int controls; // at least: the walk must not pass by finding nothing
    };
    const Expected windows[] = {{&m_windows->fileList(), 24}, {&regression, 51}, {regression.compareDialog(), 2}};
    for (const auto& [window, controls] : windows) {
        const QStringList names = spokenNames(*window);
        QVERIFY2(!names.contains(QString()), qPrintable(window->objectName()));
        QVERIFY2(names.size() >= controls,
                 qPrintable(QStringLiteral("%1: only %2 controls: %3")
                                .arg(window->objectName())
                                .arg(names.size())
                                .arg(names.join(QLatin1String(", ")))));
    }
    // The fields the issue named, each with the caption it stands beside.
    const QStringList fileList = spokenNames(m_windows->fileList());
    for (const char* expected : {"Text1=Year Month", "Text3=Day", "txtExtension=Extension of selected files",
                                 "txtStandard=String in the file name denoting standard file",
                                 "txtInpSTDgas=STD gas c/s of the chosen cell", "scrLabel1=Selected files"})
        QVERIFY2(fileList.contains(QLatin1String(expected)), expected);
    const QStringList regressionNames = spokenNames(regression);
    for (const char* expected :
         {"mnuPlot=Plot menu", "mnuSavePlot=Save plot as\u2026", "mnuCompare=Compare methods\u2026",
          "chkDrift(0)=Show smoothing spline", "chkDriftEX(0)=Export smoothing spline",
          "chkDrift(1)=Show preceding standard", "chkDriftEX(1)=Export preceding standard",
          "chkDrift(2)=Show succeeding standard", "chkDriftEX(2)=Export succeeding standard",
          "chkDrift(3)=Show bracketing average", "chkDriftEX(3)=Export bracketing average",
          "chkDrift(4)=Show no correction (mean)", "chkDriftEX(4)=Export no correction (mean)"})
        QVERIFY2(regressionNames.contains(QString::fromUtf8(expected)), expected);
}

void TestWindowAccess::selectedFilesScrollToTheLastLine()
{
    // 26 files of the day: more lines than the field shows at once.
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QDir dir(temp.path());
    constexpr qint64 kDay = 1219795200; // 2008-08-27 00:00:00 UTC (TZ=UTC)
    for (int k = 0; k < 26; ++k)
        makeFile(dir, QStringLiteral("0808_27f%1.env").arg(k, 2, 10, QLatin1Char('0')), kDay + 3600 + 60 * k);
    FileListWindow& list = m_windows->fileList();
    list.setCurrentDirectory(temp.path());

    auto* field = list.findChild<QLabel*>(QStringLiteral("Label1"));
    auto* area = list.findChild<QScrollArea*>(QStringLiteral("scrLabel1"));
    QVERIFY(field && area);
    QCOMPARE(field->text().count(QLatin1Char('\n')), 25);
    QVERIFY(area->isVisible());
    QScrollBar* bar = area->verticalScrollBar();
    QTRY_VERIFY2(bar->isVisible() && bar->maximum() > 0, "26 lines and no vertical scroll bar");
    // At the bottom the field's last line is inside the view.
    bar->setValue(bar->maximum());
    const QRect view(QPoint(0, 0), area->viewport()->size());
    const QRect shownOfField(field->mapTo(area->viewport(), QPoint(0, 0)), field->size());
    QCOMPARE(shownOfField.bottom(), view.bottom());
    const int lineHeight = field->fontMetrics().lineSpacing();
    QVERIFY(field->height() >= 26 * lineHeight);

    // The area hides and shows with the list it scrolls.
    list.findChild<QPushButton*>(QStringLiteral("cmdAccept"))->click();
    QVERIFY(!area->isVisible());
    list.setCurrentDirectory(temp.path());
    QVERIFY(area->isVisible() && field->isVisible());
}

QTEST_MAIN(TestWindowAccess)
#include "test_window_access.moc"

#include "app/measure_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>
#include <functional>

#include "app/limits_dialog.h"
#include "app/main_frame.h"
#include "meter/number_format.h"
#include "meter/prompt.h"
#include "ui/measure_controller.h"
#include "ui/statistics_panel.h"
#include "ui/velquor_view.h"
#include "ui/window_placement.h"

namespace velquor {

namespace {

using measure::PowerUnit;

void Warn(QWidget* parent, const std::string& error) {
    QMessageBox::warning(parent, kAppTitle, QString::fromStdString(error));
}

// Asks for one value until it is accepted or the user cancels; the setter checks
// the text and says what is wrong with it.
void AskValue(QWidget* parent, const QString& title, const QString& label, const QString& initial,
              const std::function<bool(const std::string&, std::string&)>& set) {
    QString text = initial;
    for (;;) {
        bool ok = false;
        text = QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, &ok);
        if (!ok)
            return;
        std::string error;
        if (set(text.toStdString(), error))
            return;
        Warn(parent, error);
    }
}

QAction* Item(QMenu* menu, const char* text, const char* name) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setObjectName(name);
    return action;
}

void ShowLossTable(QWidget* parent, const CMeasureController& measure) {
    const auto& table = measure.LossTable();
    if (!table)
        return;
    QString text = "# " + measure.LossTablePath() + "\n# MHz, dB\n";
    for (const measure::LossPoint& point : table->Points())
        text += QString::fromStdString(FormatC("%g, %g\n", point.frequency_mhz, point.loss_db));
    QDialog dialog(parent);
    dialog.setWindowTitle("Loss Table");
    auto* view = new QPlainTextEdit(text, &dialog);
    view->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(view);
    layout->addWidget(buttons);
    dialog.resize(360, 420);
    dialog.exec();
}

// Beside the main window the first time, where it covers nothing; on the screen
// every time, whatever the main window's place.
void ShowStatistics(CStatisticsPanel& panel, const QWidget& mainWindow) {
    constexpr int kGap = 8;
    const QScreen* screen = mainWindow.screen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
    // Before it is first shown the panel has no frame yet; it gets one like the
    // main window's.
    const QSize decoration = mainWindow.frameGeometry().size() - mainWindow.size();
    if (!panel.property("placed").toBool()) {
        panel.adjustSize();
        if (area.isValid()) {
            panel.move(
                PlaceBeside(mainWindow.frameGeometry(), panel.size() + decoration, area, kGap));
        }
        panel.setProperty("placed", true);
    } else if (area.isValid()) {
        const QRect frame = panel.isVisible() ? panel.frameGeometry()
                                              : QRect(panel.pos(), panel.size() + decoration);
        panel.move(KeepOnScreen(frame, area));
    }
    panel.show();
    panel.raise();
}

}  // namespace

void AddMeasureMenu(CMainFrame& frame, CVelquorView& view) {
    CMeasureController& measure = view.Measure();
    auto* menu = new QMenu("&Measure", &frame);
    menu->setObjectName("measureMenu");
    QAction* help = nullptr;
    for (QAction* action : frame.menuBar()->actions()) {
        if (action->text() == "&Help")
            help = action;
    }
    frame.menuBar()->insertMenu(help, menu);

    QWidget* parent = &frame;
    QObject::connect(Item(menu, "&Averaging...", "averaging"), &QAction::triggered, parent,
                     [parent, &measure] {
                         AskValue(parent, "Averaging",
                                  "Average over the last N readings, in linear power\n"
                                  "(1 to 1024; 1 shows every reading):",
                                  QString::number(measure.Settings().average_count),
                                  [&measure](const std::string& text, std::string& error) {
                                      return measure.SetAverageCountText(text, error);
                                  });
                     });
    menu->addSeparator();
    QAction* relative = Item(menu, "&Relative", "relative");
    relative->setCheckable(true);
    QObject::connect(relative, &QAction::triggered, parent, [parent, &measure](bool on) {
        std::string error;
        if (!measure.SetRelative(on, error))
            Warn(parent, error);
    });
    QObject::connect(
        Item(menu, "Set R&eference...", "reference"), &QAction::triggered, parent,
        [parent, &measure] {
            AskValue(parent, "Reference", "Reference (dBm), shown as 0 dB:",
                     QString::fromStdString(FormatC("%.2f", measure.Settings().reference_dbm)),
                     [&measure](const std::string& text, std::string& error) {
                         return measure.SetReferenceText(text, error);
                     });
        });
    QAction* maxHold = Item(menu, "Max &Hold", "maxHold");
    maxHold->setCheckable(true);
    QObject::connect(maxHold, &QAction::triggered, parent,
                     [&measure](bool on) { measure.SetMaxHold(on); });
    QObject::connect(Item(menu, "&Limits...", "limits"), &QAction::triggered, parent,
                     [parent, &measure] {
                         CLimitsDialog dialog(measure, parent);
                         dialog.exec();
                     });
    QObject::connect(
        Item(menu, "&Offset...", "offset"), &QAction::triggered, parent, [parent, &measure] {
            AskValue(parent, "Offset",
                     "Offset (dB) added to every reading first,\n"
                     "-100 to +100 (an attenuator ahead of the sensor is positive):",
                     QString::fromStdString(FormatC("%g", measure.Settings().offset_db)),
                     [&measure](const std::string& text, std::string& error) {
                         return measure.SetOffsetText(text, error);
                     });
        });

    QMenu* units = menu->addMenu("Power &Unit");
    auto* unitGroup = new QActionGroup(units);
    std::vector<std::pair<QAction*, PowerUnit>> unitActions;
    for (PowerUnit unit : {PowerUnit::Dbm, PowerUnit::Watt, PowerUnit::Dbuv, PowerUnit::Volt}) {
        QAction* action = units->addAction(measure::UnitName(unit));
        action->setObjectName(QString("unit") + measure::UnitName(unit));
        action->setCheckable(true);
        unitGroup->addAction(action);
        QObject::connect(action, &QAction::triggered, parent,
                         [&measure, unit] { measure.SetUnit(unit); });
        unitActions.emplace_back(action, unit);
    }

    QMenu* loss = menu->addMenu("Loss &Table");
    QObject::connect(
        Item(loss, "&Load...", "lossLoad"), &QAction::triggered, parent, [parent, &measure] {
            const QString path =
                QFileDialog::getOpenFileName(parent, "Load Loss Table", QString(),
                                             "Loss tables (*.csv *.txt *.dat);;All files (*)");
            if (path.isEmpty())
                return;
            std::string error;
            if (!measure.LoadLossTable(path, error))
                Warn(parent, error);
        });
    QAction* show = Item(loss, "&Show...", "lossShow");
    QObject::connect(show, &QAction::triggered, parent,
                     [parent, &measure] { ShowLossTable(parent, measure); });
    QAction* clear = Item(loss, "&Clear", "lossClear");
    QObject::connect(clear, &QAction::triggered, parent, [&measure] { measure.ClearLossTable(); });

    menu->addSeparator();
    auto* panel = new CStatisticsPanel(measure, parent);
    panel->hide();
    QObject::connect(Item(menu, "&Statistics...", "statistics"), &QAction::triggered, parent,
                     [panel, parent] { ShowStatistics(*panel, *parent); });
    QObject::connect(Item(menu, "Reset Stat&istics", "resetStatistics"), &QAction::triggered,
                     parent, [panel, &measure] {
                         measure.ResetStatistics();
                         panel->Refresh();
                     });

    // The menu shows the settings as they are, whoever changed them last.
    const auto sync = [&measure, relative, maxHold, unitActions, show, clear] {
        const measure::MeasureSettings& s = measure.Settings();
        relative->setChecked(s.relative);
        maxHold->setChecked(s.max_hold);
        for (const auto& [action, unit] : unitActions)
            action->setChecked(unit == s.unit);
        const bool table = measure.LossTable().has_value();
        show->setEnabled(table);
        clear->setEnabled(table);
    };
    QObject::connect(&measure, &CMeasureController::changed, menu, sync);
    sync();
}

}  // namespace velquor

// The frame's print, preview, setup and trace-saving commands, with the dialogs closed
// from a timer as soon as they open.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QTimer>
#include <QToolBar>
#include <memory>

#include "app/main_frame.h"
#include "app/print_snapshot.h"
#include "common/scripted_prompt.h"
#include "common/stepping_clock.h"
#include "link/sim_driver.h"
#include "ui/ctrl_id.h"
#include "ui/velquor_doc.h"
#include "ui/velquor_view.h"

namespace velquor {
namespace {

using testing_support::ScriptedPrompt;
using testing_support::SteppingClock;

class PrintCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        driver = std::make_unique<CSimDriver>();
        view = new CVelquorView(*driver, &doc);
        view->SetPrompt(std::make_unique<ScriptedPrompt>());
        view->SetSequenceClock(std::make_unique<SteppingClock>(600));
        view->SetRunSequencesInline(true);
        frame = std::make_unique<CMainFrame>(doc, view);
        view->OnInitialUpdate();
        ConnectPrintCommands(*frame, *view);
        frame->show();
        view->grab();
    }
    void TearDown() override {
        frame.reset();
        driver.reset();
    }

    // Runs the command and rejects every dialog it opens; the dialogs' class names.
    QStringList RunClosingDialogs(const std::function<void()>& command) {
        QStringList seen;
        QTimer closer;
        closer.setInterval(20);
        QObject::connect(&closer, &QTimer::timeout, [&seen] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                seen << dialog->metaObject()->className();
                dialog->reject();
            }
        });
        closer.start();
        // The dialogs are modal: the command returns only once they are closed.
        command();
        return seen;
    }

    QAction* FileAction(const QString& text) {
        QMenu* file = frame->menuBar()->actions().at(0)->menu();
        for (QAction* a : file->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    }

    CVelquorDoc doc;
    std::unique_ptr<CSimDriver> driver;
    CVelquorView* view = nullptr;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(PrintCommandsTest, EachCommandOpensItsDialog) {
    const struct {
        void (CMainFrame::*signal)();
        const char* dialog;
    } cases[] = {{&CMainFrame::printRequested, "QPrintDialog"},
                 {&CMainFrame::printPreviewRequested, "QPrintPreviewDialog"},
                 {&CMainFrame::printSetupRequested, "QPageSetupDialog"}};
    for (const auto& c : cases) {
        const QStringList seen = RunClosingDialogs([&] { emit(frame.get()->*c.signal)(); });
        ASSERT_EQ(seen.size(), 1) << c.dialog << ": " << seen.join(", ").toStdString();
        // Qt may hand out a platform subclass; its class name still ends in the base's.
        EXPECT_TRUE(seen[0].endsWith(QString(c.dialog).mid(1))) << seen[0].toStdString();
    }
}

TEST_F(PrintCommandsTest, FileMenuOffersTheTraceOnlyOnceOneIsRecorded) {
    QAction* csv = FileAction("Save Trace as &CSV...");
    QAction* png = FileAction("Save Trace as PN&G...");
    ASSERT_NE(csv, nullptr);
    ASSERT_NE(png, nullptr);
    ASSERT_NE(FileAction("Save Snapshot &As..."), nullptr);
    QMenu* file = frame->menuBar()->actions().at(0)->menu();
    emit file->aboutToShow();
    EXPECT_FALSE(csv->isEnabled());
    EXPECT_FALSE(png->isEnabled());

    auto* period = qobject_cast<QLineEdit*>(FindByCtrlId(view, kIdEditPeriod));
    ASSERT_NE(period, nullptr);
    period->setText("10");
    view->OnPlay();
    view->OnTraceTimer();
    view->OnTraceTimer();
    ASSERT_FALSE(view->Trace().RecordedSamples().empty());
    emit file->aboutToShow();
    EXPECT_TRUE(csv->isEnabled());
    EXPECT_TRUE(png->isEnabled());

    // Both ask for a file name first.
    for (QAction* action : {csv, png}) {
        const QStringList seen = RunClosingDialogs([action] { action->trigger(); });
        EXPECT_EQ(seen.size(), 1) << action->text().toStdString();
    }
}

QAction* ActionWithId(QWidget* root, int id) {
    for (QAction* action : root->findChildren<QAction*>())
        if (action->property("ctrlId").toInt() == id)
            return action;
    return nullptr;
}

TEST_F(PrintCommandsTest, ViewToolbarStaysInStepWithTheToolbar) {
    QAction* item = ActionWithId(frame.get(), 59392);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), "&Toolbar");
    EXPECT_TRUE(item->isChecked());
    // Hidden some other way (its own context menu): the item follows.
    frame->ToolBar()->hide();
    EXPECT_FALSE(item->isChecked());
    item->trigger();
    EXPECT_TRUE(frame->ToolBar()->isVisible());
    EXPECT_TRUE(item->isChecked());
}

TEST_F(PrintCommandsTest, NewWindowStartsTheProgramAgainOrSaysWhyNot) {
    QAction* item = FileAction("&New Window\tCtrl+N");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    QList<QStringList> started;
    bool works = true;
    frame->SetNewWindowArguments({"--simulate"});
    frame->SetNewWindowLauncher([&](const QStringList& arguments, QString& error) {
        started << arguments;
        error = "no such program";
        return works;
    });
    EXPECT_TRUE(RunClosingDialogs([item] { item->trigger(); }).isEmpty());
    works = false;
    EXPECT_EQ(RunClosingDialogs([item] { item->trigger(); }), QStringList{"QMessageBox"});
    EXPECT_EQ(started, (QList<QStringList>{{"--simulate"}, {"--simulate"}}));
}

}  // namespace
}  // namespace velquor

// The main window's own behaviour: closing it while a sequence waits, and New Window
// from a window that opened its meter by path.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>

#include "app/main_frame.h"
#include "common/scripted_prompt.h"
#include "link/sim_driver.h"
#include "ui/velquor_doc.h"
#include "ui/velquor_view.h"

namespace velquor {
namespace {

using testing_support::ScriptedPrompt;

TEST(MainFrame, ClosingWhileASetupWaitsForTheMeterAbandonsItAndCloses) {
    MeterModelConfig silent;
    silent.acknowledgeWrites = false;
    CSimDriver driver({CSimDriver::DefaultMeter(silent)});
    CVelquorDoc doc;
    auto* view = new CVelquorView(driver, &doc);
    auto owned = std::make_unique<ScriptedPrompt>();
    ScriptedPrompt* prompt = owned.get();
    view->SetPrompt(std::move(owned));
    CMainFrame frame(doc, view);
    view->OnInitialUpdate();
    frame.show();
    ASSERT_TRUE(view->Unit().m_bConnected);
    prompt->messages.clear();

    // The sequence runs behind the busy indication, on the real clock: unabandoned,
    // the meter's silence would hold it ten seconds and end in a message.
    QTimer::singleShot(500, &frame, [&frame] { frame.close(); });
    QElapsedTimer timer;
    timer.start();
    view->OnSetupUnit();
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_TRUE(prompt->messages.empty()) << prompt->messages.front().text;
    // The window goes as soon as the sequence has returned.
    QElapsedTimer closing;
    closing.start();
    while (frame.isVisible() && closing.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(frame.isVisible());
}

TEST(MainFrame, NewWindowFromAPortWindowAsksWhichPort) {
    CSimDriver driver;
    CVelquorDoc doc;
    auto* view = new CVelquorView(driver, &doc);
    view->SetPrompt(std::make_unique<ScriptedPrompt>());
    view->SetRunSequencesInline(true);
    CMainFrame frame(doc, view);
    view->OnInitialUpdate();
    QList<QStringList> started;
    frame.SetNewWindowLauncher([&](const QStringList& arguments, QString&) {
        started << arguments;
        return true;
    });
    QStringList suggested;
    std::optional<QString> answer;
    frame.SetPortChooser([&](const QString& suggestion) {
        suggested << suggestion;
        return answer;
    });
    frame.SetNewWindowArguments({"--reconnect"});

    // A window that lists its meters starts the next one the same way, asking nothing.
    frame.OnNewWindow();
    EXPECT_TRUE(suggested.isEmpty());

    frame.SetNewWindowPort("/dev/pts/3");
    answer = "/dev/pts/9";
    frame.OnNewWindow();
    answer = " ";  // nothing typed: the new window looks for meters itself
    frame.OnNewWindow();
    answer.reset();  // cancelled: nothing starts
    frame.OnNewWindow();
    EXPECT_EQ(suggested, (QStringList{"/dev/pts/3", "/dev/pts/3", "/dev/pts/3"}));
    EXPECT_EQ(started,
              (QList<QStringList>{
                  {"--reconnect"}, {"--reconnect", "--port", "/dev/pts/9"}, {"--reconnect"}}));
}

}  // namespace
}  // namespace velquor

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "ui/busy_runner.h"
#include "ui/qt_prompt.h"

namespace velquor {
namespace {

constexpr int kDelayMs = 60;

QWidget* VisibleBusy() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == kBusyObjectName && w->isVisible())
            return w;
    return nullptr;
}

// Answers each box the sequence raises only after the busy delay has passed
// several times over, and notes what held the keyboard meanwhile.
struct BoxWatcher {
    int boxesSeen = 0;
    int coveredWhileOpen = 0;
    int busyShownAfterwards = 0;
    Qt::TextFormat lastFormat = Qt::AutoText;
    QElapsedTimer openFor;
    QPointer<QMessageBox> current;

    void Poll() {
        QMessageBox* box = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* open = qobject_cast<QMessageBox*>(w); open && open->isVisible())
                box = open;
        }
        if (box == nullptr) {
            if (boxesSeen > 0 && VisibleBusy() != nullptr)
                ++busyShownAfterwards;
            return;
        }
        if (box != current) {
            current = box;
            ++boxesSeen;
            openFor.start();
            lastFormat = box->textFormat();
        }
        // Another modal window above the box would take its keyboard and mouse.
        if (QApplication::activeModalWidget() != box || VisibleBusy() != nullptr)
            ++coveredWhileOpen;
        if (openFor.elapsed() > 5 * kDelayMs) {
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            (yes != nullptr ? yes : box->button(QMessageBox::Ok))->click();
        }
    }
};

TEST(BusyIndication, NeverCoversAPromptOfTheSequenceAndReturnsAfterIt) {
    QWidget owner;
    owner.show();
    CQtPrompt prompt(&owner);
    BoxWatcher watcher;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] { watcher.Poll(); });
    poll.start(5);

    bool answer = false;
    RunBusy(
        &owner, "Writing the unit setup...",
        [&] {
            answer = prompt.AskYesNo("Has this <b>unit</b> been calibrated?", "caption");
            // The write that follows the answer: the indication comes back meanwhile.
            std::this_thread::sleep_for(std::chrono::milliseconds(8 * kDelayMs));
            prompt.ShowMessage("Serial <i>OV1</i> set", "caption");
        },
        kDelayMs);

    EXPECT_TRUE(answer);
    EXPECT_EQ(watcher.boxesSeen, 2);
    EXPECT_EQ(watcher.coveredWhileOpen, 0);
    EXPECT_GT(watcher.busyShownAfterwards, 0);
    EXPECT_EQ(watcher.lastFormat, Qt::PlainText);
    EXPECT_EQ(VisibleBusy(), nullptr);
}

// Qt drops the window system's close request for a window a modal one blocks: the
// owner must not be blocked, so that closing it can abandon the sequence. Its input
// still goes nowhere meanwhile.
TEST(BusyIndication, LeavesTheOwnerOpenToClosingButNotToInput) {
    struct BlockWatch : QObject {
        bool blocked = false;
        bool eventFilter(QObject*, QEvent* event) override {
            blocked = blocked || event->type() == QEvent::WindowBlocked;
            return false;
        }
    } watch;
    QWidget owner;
    auto* button = new QPushButton("Setup Unit", &owner);
    owner.installEventFilter(&watch);
    owner.show();
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });

    bool busyShown = false;
    int titleRoom = 0;
    QTimer::singleShot(4 * kDelayMs, [&] {
        if (QWidget* busy = VisibleBusy()) {
            busyShown = true;
            QFont title = busy->font();
            title.setBold(true);
            titleRoom = busy->width() - QFontMetrics(title).horizontalAdvance(busy->windowTitle());
        }
        QTest::mouseClick(button, Qt::LeftButton);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);
    });
    RunBusy(
        &owner, "Writing the unit setup...",
        [] { std::this_thread::sleep_for(std::chrono::milliseconds(8 * kDelayMs)); }, kDelayMs);

    EXPECT_TRUE(busyShown);
    EXPECT_FALSE(watch.blocked);
    EXPECT_EQ(clicks, 0);
    // The whole title fits beside the window manager's buttons ("Orvan... ivi RA" was cut).
    EXPECT_GE(titleRoom, kBusyTitleAllowancePx);
    // Afterwards the owner takes input again.
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace velquor

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "ui/ctrl_id.h"
#include "ui/dialog_sel_device.h"
#include "ui/qt_prompt.h"

namespace velquor {
namespace {

// Runs action on the dialog once it is shown modally.
void WhenShown(const std::function<void(CDialogSelDevice*)>& action) {
    QTimer::singleShot(0, [action] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<CDialogSelDevice*>(w); dialog && dialog->isVisible()) {
                action(dialog);
                return;
            }
        }
        ADD_FAILURE() << "the dialog was not shown";
    });
}

TEST(DialogSelDevice, ShowsTheLinesInOrderWithTheFirstSelected) {
    CDialogSelDevice dialog;
    dialog.m_arrDevices << "M1 - Orvane Power Meter"
                        << "M2 - Orvane Power Meter";
    int rowsSeen = -1;
    int selectedSeen = -1;
    WhenShown([&](CDialogSelDevice* d) {
        rowsSeen = d->List()->count();
        selectedSeen = d->List()->currentRow();
        EXPECT_EQ(d->windowTitle(), "Select Power Meter Devices");
        EXPECT_EQ(GetCtrlId(d->List()), 1000);
        EXPECT_EQ(d->List()->item(1)->text(), "M2 - Orvane Power Meter");
        d->accept();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(rowsSeen, 2);
    EXPECT_EQ(selectedSeen, 0);
    EXPECT_EQ(dialog.m_nSelected, 0);
}

TEST(DialogSelDevice, OkTakesTheChosenLineAndCancelIsReported) {
    CDialogSelDevice dialog;
    dialog.m_arrDevices << "A"
                        << "B"
                        << "C";
    WhenShown([](CDialogSelDevice* d) {
        d->List()->setCurrentRow(2);
        qobject_cast<QPushButton*>(FindByCtrlId(d, 1))->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_nSelected, 2);
    WhenShown([](CDialogSelDevice* d) {
        d->List()->setCurrentRow(1);
        qobject_cast<QPushButton*>(FindByCtrlId(d, 2))->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
}

TEST(QtPrompt, SelectDeviceMapsTheDialogResult) {
    CQtPrompt prompt(nullptr);
    int selected = -1;
    WhenShown([](CDialogSelDevice* d) {
        d->List()->setCurrentRow(1);
        d->accept();
    });
    EXPECT_TRUE(
        prompt.SelectDevice({"x - Orvane Power Meter", "y - Orvane Power Meter"}, selected));
    EXPECT_EQ(selected, 1);
    selected = -1;
    WhenShown([](CDialogSelDevice* d) { d->reject(); });
    EXPECT_FALSE(prompt.SelectDevice({"x", "y"}, selected));
    EXPECT_EQ(selected, -1);
}

}  // namespace
}  // namespace velquor

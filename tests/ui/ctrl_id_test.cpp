#include "ui/ctrl_id.h"

#include <gtest/gtest.h>
#include <QWidget>

namespace velquor {
namespace {

TEST(CtrlId, FindsControlsAnywhereBelowTheRoot) {
    QWidget root;
    auto* panel = new QWidget(&root);
    auto* edit = new QWidget(panel);
    auto* plain = new QWidget(&root);
    SetCtrlId(&root, 1);
    SetCtrlId(panel, 206);
    SetCtrlId(edit, 101);

    EXPECT_EQ(GetCtrlId(edit), 101);
    EXPECT_EQ(GetCtrlId(plain), 0);
    EXPECT_EQ(GetCtrlId(nullptr), 0);
    EXPECT_EQ(FindByCtrlId(&root, 101), edit);
    EXPECT_EQ(FindByCtrlId(&root, 206), panel);
    EXPECT_EQ(FindByCtrlId(&root, 1), &root);
    EXPECT_EQ(FindByCtrlId(panel, 1), nullptr);  // ancestors are not searched
    EXPECT_EQ(FindByCtrlId(&root, 999), nullptr);
    EXPECT_EQ(FindByCtrlId(nullptr, 101), nullptr);

    SetCtrlId(edit, 102);  // ids can be changed
    EXPECT_EQ(FindByCtrlId(&root, 101), nullptr);
    EXPECT_EQ(FindByCtrlId(&root, 102), edit);
    SetCtrlId(nullptr, 5);  // harmless
}

}  // namespace
}  // namespace velquor

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QValidator>

#include <unistd.h>

#include <vector>

#include "logging/dialog_save_table.h"

namespace velquor {
namespace {

template <typename W>
W* FindById(QWidget* root, int id) {
    for (W* w : root->findChildren<W*>()) {
        if (w->property("ctrlId").toInt() == id)
            return w;
    }
    return nullptr;
}

class SaveTableDialog : public ::testing::Test {
protected:
    SaveTableDialog() {
        dialog.SetSavePathAsker([this](QWidget*) {
            ++asked;
            return answer;
        });
        dialog.SetMessage([this](QWidget*, const QString& text, bool question) {
            messages << text;
            return question && replace;
        });
        dialog.show();
    }
    QAbstractButton* Button(int id) { return FindById<QAbstractButton>(&dialog, id); }
    QLineEdit* Edit(int id) { return FindById<QLineEdit>(&dialog, id); }

    CDialogSaveTable dialog;
    std::optional<QString> answer;
    int asked = 0;
    QStringList messages;
    bool replace = false;
};

TEST_F(SaveTableDialog, ControlsIdsAndTexts) {
    EXPECT_EQ(dialog.windowTitle(), "Save Measurement Data");
    struct Control {
        int id;
        const char* text;
        const char* kind;
    };
    for (const Control& c :
         {Control{1002, "...", "QPushButton"}, Control{1003, "Include Table Header", "QCheckBox"},
          Control{1004, "Include Table Index", "QCheckBox"}, Control{112, "Tab", "QRadioButton"},
          Control{1006, "Comma", "QRadioButton"}, Control{1007, "Space", "QRadioButton"},
          Control{1008, "Other", "QRadioButton"}, Control{1, "OK", "QPushButton"},
          Control{2, "Cancel", "QPushButton"}}) {
        QAbstractButton* button = Button(c.id);
        ASSERT_NE(button, nullptr) << c.id;
        EXPECT_EQ(button->text(), c.text) << c.id;
        EXPECT_TRUE(button->inherits(c.kind)) << c.id;
    }
    ASSERT_NE(Edit(1001), nullptr);
    ASSERT_NE(Edit(1009), nullptr);
    QStringList groups;
    for (QGroupBox* box : dialog.findChildren<QGroupBox*>())
        groups << box->title();
    EXPECT_EQ(groups, QStringList({"1. Select An Output File", "2. Select Save Options",
                                   "3. Choose Delimiter"}));
    EXPECT_TRUE(static_cast<QPushButton*>(Button(1))->isDefault());
}

TEST_F(SaveTableDialog, Defaults) {
    EXPECT_TRUE(Button(1003)->isChecked());
    EXPECT_TRUE(Button(1004)->isChecked());
    EXPECT_TRUE(Button(112)->isChecked());
    EXPECT_FALSE(Button(1006)->isChecked());
    EXPECT_FALSE(Edit(1009)->isEnabled());
    EXPECT_TRUE(Edit(1001)->isEnabled());
    EXPECT_TRUE(Edit(1001)->text().isEmpty());
    EXPECT_FALSE(dialog.m_bFileChosen);
    EXPECT_EQ(dialog.m_nDelimiter, 0);
    EXPECT_EQ(dialog.GetDelimiter(), '\t');
}

TEST_F(SaveTableDialog, TabOrderFollowsTheTemplate) {
    std::vector<int> order;
    QWidget* w = Button(1002);
    for (int i = 0; i < 40 && w != nullptr; ++i, w = w->nextInFocusChain()) {
        const int id = w->property("ctrlId").toInt();
        if (id != 0 && (w->focusPolicy() & Qt::TabFocus) &&
            std::find(order.begin(), order.end(), id) == order.end())
            order.push_back(id);
    }
    EXPECT_EQ(order, (std::vector<int>{1002, 1001, 1003, 1004, 112, 1006, 1007, 1008, 1009, 1, 2}));
}

TEST_F(SaveTableDialog, OtherEnablesItsEditAndAFixedChoiceDisablesIt) {
    Button(1008)->click();
    EXPECT_TRUE(Edit(1009)->isEnabled());
    QTest::keyClicks(Edit(1009), "x");
    Button(1006)->click();
    EXPECT_FALSE(Edit(1009)->isEnabled());
    Edit(1001)->setText(QDir::tempPath() + "/velquor-no-such-dir/log.txt");
    Button(1)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_strOther, "x");
    EXPECT_EQ(dialog.GetDelimiter(), ',');
}

TEST_F(SaveTableDialog, OtherGivesItsFirstCharacter) {
    Button(1008)->click();
    QTest::keyClicks(Edit(1009), ";abc");
    Button(1)->click();
    EXPECT_EQ(dialog.m_nDelimiter, 3);
    EXPECT_EQ(dialog.GetDelimiter(), ';');
}

TEST_F(SaveTableDialog, EmptyOtherIsRefusedUntilACharacterIsTyped) {
    Button(1008)->click();
    Edit(1001)->setText(QDir::tempPath() + "/velquor-no-such-dir/log.txt");
    Button(1)->click();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("\"Other\"")) << messages[0].toStdString();
    QTest::keyClicks(Edit(1009), ";");
    Button(1)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetDelimiter(), ';');
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(SaveTableDialog, OtherTakesOnlySingleByteCharacters) {
    const QValidator* validator = Edit(1009)->validator();
    ASSERT_NE(validator, nullptr);
    QString accented = QString::fromUtf8("\xC3\xA9|");
    QString plain = "|;x";
    int pos = 0;
    EXPECT_EQ(validator->validate(accented, pos), QValidator::Invalid);
    EXPECT_EQ(validator->validate(plain, pos), QValidator::Acceptable);
    dialog.m_nDelimiter = 3;
    dialog.m_strOther = QString::fromUtf8("\xC3\xA9");
    EXPECT_EQ(dialog.GetDelimiter(), ' ');
}

TEST(SaveTableDelimiter, Table) {
    CDialogSaveTable dialog;
    dialog.m_strOther = "#";
    const std::vector<std::pair<int, char>> table = {{0, '\t'}, {1, ','}, {2, ' '},
                                                     {3, '#'},  {4, ' '}, {-1, ' '}};
    for (const auto& [choice, expected] : table) {
        dialog.m_nDelimiter = choice;
        EXPECT_EQ(dialog.GetDelimiter(), expected) << choice;
    }
}

TEST_F(SaveTableDialog, BrowseFillsThePathAndMarksTheFileChosen) {
    answer = QString("/tmp/velquor/run 1.txt");
    Button(1002)->click();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(dialog.m_bFileChosen);
    EXPECT_EQ(dialog.m_strFileName, "run 1.txt");
    EXPECT_EQ(dialog.m_strPathName, "/tmp/velquor/run 1.txt");
    EXPECT_EQ(Edit(1001)->text(), "/tmp/velquor/run 1.txt");
    // Cancelling a second browse changes nothing.
    answer.reset();
    Button(1002)->click();
    EXPECT_TRUE(dialog.m_bFileChosen);
    EXPECT_EQ(Edit(1001)->text(), "/tmp/velquor/run 1.txt");
    // A path edited after browsing is taken as it stands.
    Edit(1001)->setText("/tmp/velquor/other.txt");
    Button(1)->click();
    EXPECT_EQ(dialog.m_strPathName, "/tmp/velquor/other.txt");
}

TEST_F(SaveTableDialog, CancelledBrowseLeavesEverything) {
    Button(1002)->click();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(dialog.m_bFileChosen);
    EXPECT_TRUE(Edit(1001)->text().isEmpty());
}

TEST_F(SaveTableDialog, OkReadsTheOptionsCancelDoesNot) {
    Button(1003)->click();
    Button(1004)->click();
    Button(2)->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(dialog.m_bIncludeHeader);
    EXPECT_TRUE(dialog.m_bIncludeIndex);
}

TEST_F(SaveTableDialog, ATypedPathAndOkChooseTheFile) {
    const QString folder = QDir::tempPath() + "/velquor-typed-" + QString::number(getpid());
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile existing(folder + "/old.txt");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    struct Case {
        QString typed;
        bool replace;
        bool accepted;
        QString path;  // what the logger gets
        int messages;
    };
    const Case cases[] = {
        {"", false, false, "", 1},
        {"  ", false, false, "", 1},
        {folder, false, false, "", 1},
        {folder + "/old.txt", false, false, "", 1},
        {folder + "/old.txt", true, true, folder + "/old.txt", 1},
        {folder + "/new.txt", false, true, folder + "/new.txt", 0},
        {"velquor-relative.txt", false, true, QDir::home().filePath("velquor-relative.txt"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        CDialogSaveTable typed;
        QStringList shown;
        typed.SetMessage([&](QWidget*, const QString& text, bool) {
            shown << text;
            return c.replace;
        });
        typed.show();
        FindById<QAbstractButton>(&typed, 1003)->click();
        FindById<QLineEdit>(&typed, 1001)->setText(c.typed);
        FindById<QAbstractButton>(&typed, 1)->click();
        EXPECT_EQ(typed.result() == QDialog::Accepted, c.accepted);
        EXPECT_EQ(typed.isVisible(), !c.accepted);
        EXPECT_EQ(shown.size(), c.messages);
        EXPECT_EQ(typed.m_bFileChosen, c.accepted);
        if (c.accepted) {
            EXPECT_EQ(typed.m_strPathName, c.path);
            EXPECT_FALSE(typed.m_bIncludeHeader);
        }
    }
    QDir(folder).removeRecursively();
}

TEST_F(SaveTableDialog, NoLabelOrChoiceIsCut) {
    for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
        // A push button's hint has a style minimum; its text is what must fit.
        const int needed = qobject_cast<QPushButton*>(button) != nullptr
                               ? button->fontMetrics().horizontalAdvance(button->text())
                               : button->sizeHint().width();
        EXPECT_GE(button->width(), needed) << button->text().toStdString();
    }
    for (QGroupBox* box : dialog.findChildren<QGroupBox*>()) {
        EXPECT_GE(box->width(), box->minimumSizeHint().width()) << box->title().toStdString();
        EXPECT_GT(box->width(), box->fontMetrics().horizontalAdvance(box->title()))
            << box->title().toStdString();
    }
}

}  // namespace
}  // namespace velquor

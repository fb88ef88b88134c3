#include "ui/save_file_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace velquor {
namespace {

// Types a name into the file dialog as soon as it is up, and presses Save.
void TypeIntoTheDialog(const QString& folder, const QString& name) {
    QTimer::singleShot(50, [folder, name] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            TypeIntoTheDialog(folder, name);
            return;
        }
        dialog->setDirectory(folder);
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->clear();
        QTest::keyClicks(edit, name);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
    });
}

TEST(AskSaveFile, ANameWithoutExtensionGetsTheDefaultOne) {
    QTemporaryDir dir;
    const struct {
        const char* typed;
        const char* suffix;
        const char* saved;
    } cases[] = {{"trace", "png", "trace.png"},
                 {"trace", "csv", "trace.csv"},
                 {"run.data", "csv", "run.data"},
                 {"shot.png", "png", "shot.png"}};
    for (const auto& c : cases) {
        TypeIntoTheDialog(dir.path(), c.typed);
        const QString path = AskSaveFile(nullptr, "Save", "trace", "All files (*)", c.suffix);
        EXPECT_EQ(path, dir.filePath(c.saved)) << c.typed;
    }
}

}  // namespace
}  // namespace velquor

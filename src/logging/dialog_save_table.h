#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QLineEdit;

namespace velquor {

// Control ids of the save-options dialog, set on each widget as the "ctrlId"
// property.
enum : int {
    kIdSaveTablePath = 1001,
    kIdSaveTableBrowse = 1002,
    kIdSaveTableHeader = 1003,
    kIdSaveTableIndex = 1004,
    kIdSaveTableTab = 112,
    kIdSaveTableComma = 1006,
    kIdSaveTableSpace = 1007,
    kIdSaveTableOther = 1008,
    kIdSaveTableOtherText = 1009,
    kIdSaveTableOk = 1,
    kIdSaveTableCancel = 2,
};

// Choice of the file-save dialog for the browse button: the full path, or nothing
// when cancelled. Replaceable so tests need no modal file dialog.
using SavePathAsker = std::function<std::optional<QString>(QWidget* parent)>;
// A message (question false; the result is ignored) or a Yes/No question (true for
// Yes) shown over the dialog. Replaceable so tests need no modal box.
using SaveTableMessage = std::function<bool(QWidget* parent, const QString& text, bool question)>;

// The save-options dialog of a logging run: output file, title line and index
// options, and the delimiter. Every showing starts from the defaults.
class CDialogSaveTable : public QDialog {
public:
    explicit CDialogSaveTable(QWidget* parent = nullptr);

    // The platform's file-save dialog: proposes ".txt", asks before overwriting.
    static std::optional<QString> AskSavePathWithFileDialog(QWidget* parent);
    void SetSavePathAsker(SavePathAsker asker) { m_asker = std::move(asker); }
    void SetMessage(SaveTableMessage message) { m_message = std::move(message); }

    // Tab, comma, space, or the first character of the "Other" text (a space when
    // that text is empty, and for any other choice).
    char GetDelimiter() const;

    // Takes the options; a path typed into the path field counts like a browsed one
    // (relative to the home folder, asking before an existing file is replaced). An
    // empty path or a folder keeps the dialog open.
    void accept() override;

    QLineEdit* m_editOther = nullptr;
    bool m_bIncludeIndex = true;
    bool m_bIncludeHeader = true;
    QString m_strOther;
    QString m_strPathName;
    QString m_strFileName;
    QLineEdit* m_editPath = nullptr;
    int m_nDelimiter = 0;
    bool m_bFileChosen = false;

    // The handlers, public so that scripts can drive them like clicks.
    void OnFixedDelimiter();
    void OnOtherDelimiter();
    void OnBrowse();

private:
    void CreateControls();
    // Members to controls (false) or controls to members (true).
    void UpdateData(bool fromControls);
    void OnInitDialog();
    // Checks m_strPathName for accept(); false keeps the dialog open.
    bool TakeTypedPath();

    QCheckBox* m_checkHeader = nullptr;
    QCheckBox* m_checkIndex = nullptr;
    QButtonGroup* m_groupDelimiter = nullptr;
    SavePathAsker m_asker;
    SaveTableMessage m_message;
    QString m_strBrowsedPath;
};

}  // namespace velquor

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

// The save-options dialog of a logging run: output file, title line and index
// options, and the delimiter. Every showing starts from the defaults.
class CDialogSaveTable : public QDialog {
public:
    explicit CDialogSaveTable(QWidget* parent = nullptr);

    // The platform's file-save dialog: proposes ".txt", asks before overwriting.
    static std::optional<QString> AskSavePathWithFileDialog(QWidget* parent);
    void SetSavePathAsker(SavePathAsker asker) { m_asker = std::move(asker); }

    // Tab, comma, space, or the first character of the "Other" text (a space when
    // that text is empty, and for any other choice).
    char GetDelimiter() const;

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

    QCheckBox* m_checkHeader = nullptr;
    QCheckBox* m_checkIndex = nullptr;
    QButtonGroup* m_groupDelimiter = nullptr;
    SavePathAsker m_asker;
};

}  // namespace velquor

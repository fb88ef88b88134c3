#include "logging/dialog_save_table.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

namespace velquor {

namespace {

constexpr int kDelimiterTab = 0;
constexpr int kDelimiterComma = 1;
constexpr int kDelimiterSpace = 2;
constexpr int kDelimiterOther = 3;

template <typename W>
W* WithId(W* widget, int id) {
    widget->setProperty("ctrlId", id);
    return widget;
}

bool AskWithMessageBox(QWidget* parent, const QString& text, bool question) {
    QMessageBox box(question ? QMessageBox::Question : QMessageBox::NoIcon, "Save Measurement Data",
                    text, question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    if (question)
        box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace

CDialogSaveTable::CDialogSaveTable(QWidget* parent)
    : QDialog(parent),
      m_asker(&CDialogSaveTable::AskSavePathWithFileDialog),
      m_message(&AskWithMessageBox) {
    CreateControls();
    OnInitDialog();
}

void CDialogSaveTable::CreateControls() {
    setWindowTitle("Save Measurement Data");
    setWindowRole("save-options");
    const QFontMetrics metrics(font());

    // Laid out rather than placed, so no text is cut whatever the font; created in
    // the template's order, which is also the tab order.
    auto* fileGroup = new QGroupBox("1. Select An Output File", this);
    auto* browse = WithId(new QPushButton("...", fileGroup), kIdSaveTableBrowse);
    browse->setAutoDefault(false);
    browse->setFixedWidth(metrics.horizontalAdvance("...") + 4 * metrics.averageCharWidth());
    m_editPath = WithId(new QLineEdit(fileGroup), kIdSaveTablePath);
    m_editPath->setMinimumWidth(40 * metrics.averageCharWidth());
    auto* fileRow = new QHBoxLayout(fileGroup);
    fileRow->addWidget(browse);
    fileRow->addWidget(m_editPath, 1);

    auto* optionsGroup = new QGroupBox("2. Select Save Options", this);
    m_checkHeader = WithId(new QCheckBox("Include Table Header", optionsGroup), kIdSaveTableHeader);
    m_checkIndex = WithId(new QCheckBox("Include Table Index", optionsGroup), kIdSaveTableIndex);
    auto* optionsColumn = new QVBoxLayout(optionsGroup);
    optionsColumn->addWidget(m_checkHeader);
    optionsColumn->addWidget(m_checkIndex);
    optionsColumn->addStretch(1);

    auto* delimiterGroup = new QGroupBox("3. Choose Delimiter", this);
    auto* tab = WithId(new QRadioButton("Tab", delimiterGroup), kIdSaveTableTab);
    auto* comma = WithId(new QRadioButton("Comma", delimiterGroup), kIdSaveTableComma);
    auto* space = WithId(new QRadioButton("Space", delimiterGroup), kIdSaveTableSpace);
    auto* other = WithId(new QRadioButton("Other", delimiterGroup), kIdSaveTableOther);
    m_editOther = WithId(new QLineEdit(delimiterGroup), kIdSaveTableOtherText);
    m_editOther->setFixedWidth(6 * metrics.averageCharWidth());
    // A log file delimiter is one byte; characters beyond ASCII would take several.
    m_editOther->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[\\x20-\\x7E]*"), m_editOther));
    auto* delimiterGrid = new QGridLayout(delimiterGroup);
    delimiterGrid->addWidget(tab, 0, 0);
    delimiterGrid->addWidget(comma, 1, 0);
    delimiterGrid->addWidget(space, 2, 0);
    delimiterGrid->addWidget(other, 3, 0);
    delimiterGrid->addWidget(m_editOther, 3, 1);

    auto* ok = WithId(new QPushButton("OK", this), kIdSaveTableOk);
    ok->setDefault(true);
    auto* cancel = WithId(new QPushButton("Cancel", this), kIdSaveTableCancel);
    cancel->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    auto* left = new QVBoxLayout;
    left->addWidget(optionsGroup, 1);
    left->addLayout(buttons);
    auto* lower = new QHBoxLayout;
    lower->addLayout(left, 1);
    lower->addWidget(delimiterGroup);
    auto* page = new QVBoxLayout(this);
    page->addWidget(fileGroup);
    page->addLayout(lower);
    page->setSizeConstraint(QLayout::SetFixedSize);

    const QWidget* order[] = {browse, m_editPath, m_checkHeader, m_checkIndex, tab,   comma,
                              space,  other,      m_editOther,   ok,           cancel};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));

    m_groupDelimiter = new QButtonGroup(this);
    m_groupDelimiter->addButton(tab, kDelimiterTab);
    m_groupDelimiter->addButton(comma, kDelimiterComma);
    m_groupDelimiter->addButton(space, kDelimiterSpace);
    m_groupDelimiter->addButton(other, kDelimiterOther);

    connect(browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    // Toggled rather than clicked, so that a choice made with the arrow keys counts too.
    for (QRadioButton* fixed : {tab, comma, space}) {
        connect(fixed, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                OnFixedDelimiter();
        });
    }
    connect(other, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            OnOtherDelimiter();
    });
    connect(ok, &QPushButton::clicked, this, &CDialogSaveTable::accept);
    connect(cancel, &QPushButton::clicked, this, &CDialogSaveTable::reject);
}

void CDialogSaveTable::UpdateData(bool fromControls) {
    if (fromControls) {
        m_bIncludeIndex = m_checkIndex->isChecked();
        m_bIncludeHeader = m_checkHeader->isChecked();
        m_strOther = m_editOther->text();
        m_strPathName = m_editPath->text();
        m_nDelimiter = m_groupDelimiter->checkedId();
        return;
    }
    m_checkIndex->setChecked(m_bIncludeIndex);
    m_checkHeader->setChecked(m_bIncludeHeader);
    m_editOther->setText(m_strOther);
    m_editPath->setText(m_strPathName);
    if (QAbstractButton* radio = m_groupDelimiter->button(m_nDelimiter))
        radio->setChecked(true);
}

void CDialogSaveTable::OnInitDialog() {
    UpdateData(false);
    m_editOther->setEnabled(m_nDelimiter == kDelimiterOther);
    // The keyboard starts in the path field, so a path can simply be typed.
    m_editPath->setFocus();
}

void CDialogSaveTable::OnFixedDelimiter() {
    m_editOther->setEnabled(false);
}

void CDialogSaveTable::OnOtherDelimiter() {
    m_editOther->setEnabled(true);
}

void CDialogSaveTable::OnBrowse() {
    const std::optional<QString> path = m_asker ? m_asker(this) : std::nullopt;
    if (!path || path->isEmpty())
        return;
    m_strFileName = QFileInfo(*path).fileName();
    m_strPathName = *path;
    m_strBrowsedPath = *path;
    m_editPath->setText(*path);
    m_bFileChosen = true;
}

void CDialogSaveTable::accept() {
    UpdateData(true);
    // Asked before the path, whose checks may ask about replacing a file.
    if (m_nDelimiter == kDelimiterOther && m_strOther.isEmpty()) {
        m_message(this,
                  "Type the delimiter character in the box beside \"Other\", or choose "
                  "another delimiter.",
                  false);
        m_editOther->setFocus();
        return;
    }
    if (!TakeTypedPath()) {
        m_editPath->setFocus();
        return;
    }
    QDialog::accept();
}

bool CDialogSaveTable::TakeTypedPath() {
    const QString typed = m_strPathName.trimmed();
    if (typed.isEmpty()) {
        m_message(this, "Choose the output file with the \"...\" button or type its path.", false);
        return false;
    }
    // The file dialog has already asked about this very file.
    if (m_bFileChosen && typed == m_strBrowsedPath)
        return true;
    const QFileInfo info(QDir::home(), QDir::fromNativeSeparators(typed));
    if (info.isDir() || typed.endsWith('/')) {
        m_message(this, info.absoluteFilePath() + " is a folder, not a file.", false);
        return false;
    }
    if (info.exists() &&
        !m_message(this, info.absoluteFilePath() + " already exists.\nDo you want to replace it?",
                   true))
        return false;
    m_strPathName = info.absoluteFilePath();
    m_strFileName = info.fileName();
    m_editPath->setText(m_strPathName);
    m_bFileChosen = true;
    return true;
}

char CDialogSaveTable::GetDelimiter() const {
    switch (m_nDelimiter) {
        case kDelimiterTab:
            return '\t';
        case kDelimiterComma:
            return ',';
        case kDelimiterSpace:
            return ' ';
        case kDelimiterOther: {
            if (m_strOther.isEmpty())
                return ' ';
            const char16_t first = m_strOther.front().unicode();
            // Only a printable ASCII character is one byte in the file.
            return first >= 0x20 && first < 0x7F ? static_cast<char>(first) : ' ';
        }
        default:
            return ' ';
    }
}

std::optional<QString> CDialogSaveTable::AskSavePathWithFileDialog(QWidget* parent) {
    QFileDialog dialog(parent, QString(), QString(), "Text Files (*.txt);;All Files (*)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix("txt");
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front();
}

}  // namespace velquor

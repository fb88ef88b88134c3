#include "logging/dialog_save_table.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

namespace velquor {

namespace {

constexpr int kDelimiterTab = 0;
constexpr int kDelimiterComma = 1;
constexpr int kDelimiterSpace = 2;
constexpr int kDelimiterOther = 3;

// Places widgets by the template's dialog units: a quarter of the font's average
// character width across, an eighth of its height down.
class DialogUnits {
public:
    explicit DialogUnits(const QFontMetrics& metrics)
        : m_x(metrics.averageCharWidth()), m_y(metrics.height()) {}
    QRect Rect(int x, int y, int w, int h) const {
        return QRect(x * m_x / 4, y * m_y / 8, w * m_x / 4, h * m_y / 8);
    }

private:
    int m_x;
    int m_y;
};

template <typename W>
W* Place(W* widget, const DialogUnits& units, int x, int y, int w, int h, int id) {
    widget->setGeometry(units.Rect(x, y, w, h));
    if (id != 0)
        widget->setProperty("ctrlId", id);
    return widget;
}

}  // namespace

CDialogSaveTable::CDialogSaveTable(QWidget* parent)
    : QDialog(parent), m_asker(&CDialogSaveTable::AskSavePathWithFileDialog) {
    CreateControls();
    OnInitDialog();
}

void CDialogSaveTable::CreateControls() {
    setWindowTitle("Save Measurement Data");
    const DialogUnits units(fontMetrics());
    const QRect size = units.Rect(0, 0, 199, 110);
    setFixedSize(size.width(), size.height());

    // Created in the template's order, which is also the tab order.
    Place(new QGroupBox("1. Select An Output File", this), units, 7, 7, 185, 30, 0);
    auto* browse = Place(new QPushButton("...", this), units, 9, 18, 18, 14, kIdSaveTableBrowse);
    browse->setAutoDefault(false);
    m_editPath = Place(new QLineEdit(this), units, 29, 18, 161, 14, kIdSaveTablePath);
    Place(new QGroupBox("2. Select Save Options", this), units, 7, 36, 105, 47, 0);
    m_checkHeader = Place(new QCheckBox("Include Table Header", this), units, 15, 49, 89, 10,
                          kIdSaveTableHeader);
    m_checkIndex =
        Place(new QCheckBox("Include Table Index", this), units, 15, 64, 91, 10, kIdSaveTableIndex);
    Place(new QGroupBox("3. Choose Delimiter", this), units, 116, 36, 74, 64, 0);
    auto* tab = Place(new QRadioButton("Tab", this), units, 122, 47, 28, 10, kIdSaveTableTab);
    auto* comma = Place(new QRadioButton("Comma", this), units, 122, 60, 39, 10, kIdSaveTableComma);
    auto* space = Place(new QRadioButton("Space", this), units, 122, 73, 35, 10, kIdSaveTableSpace);
    auto* other = Place(new QRadioButton("Other", this), units, 122, 86, 35, 10, kIdSaveTableOther);
    m_editOther = Place(new QLineEdit(this), units, 154, 84, 29, 14, kIdSaveTableOtherText);
    // A log file delimiter is one byte; characters beyond ASCII would take several.
    m_editOther->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[\\x20-\\x7E]*"), m_editOther));
    auto* ok = Place(new QPushButton("OK", this), units, 7, 89, 50, 14, kIdSaveTableOk);
    ok->setDefault(true);
    auto* cancel =
        Place(new QPushButton("Cancel", this), units, 63, 89, 50, 14, kIdSaveTableCancel);
    cancel->setAutoDefault(false);

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
    m_editPath->setText(*path);
    m_bFileChosen = true;
}

void CDialogSaveTable::accept() {
    UpdateData(true);
    QDialog::accept();
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

#include "ui/check_image_button.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "ui/ctrl_id.h"
#include "ui/resources.h"

namespace velquor {
namespace {

constexpr int kCaptionX = 25;
constexpr int kCaptionY = 1;

}  // namespace

int CheckStripCell(int nCheck, bool bEnabled) {
    if (!bEnabled)
        return kIndeterminate;
    return CheckQueryResult(nCheck);
}

int CheckQueryResult(int nCheck) {
    return nCheck == kChecked || nCheck == kIndeterminate ? nCheck : kUnchecked;
}

int ClickedCheck(int nCheck, bool bAutoToggle) {
    if (!bAutoToggle)
        return nCheck;
    if (nCheck == kChecked)
        return kUnchecked;
    if (nCheck == kUnchecked)
        return kChecked;
    return nCheck;
}

int SetCheckResult(int nCurrent, int nValue) {
    return nValue >= kUnchecked && nValue <= kIndeterminate ? nValue : nCurrent;
}

CCheckImageButton::CCheckImageButton(QWidget* parent) : QWidget(parent) {}

CCheckImageButton::~CCheckImageButton() = default;

void CCheckImageButton::LoadStrip() {
    const QPixmap loaded = LoadBitmapResource(kBmpCheckStrip);
    m_pStrip.reset();
    m_nCellWidth = loaded.width() / 3;
    m_nCellHeight = loaded.height();
    if (!loaded.isNull())
        m_pStrip = std::make_unique<QPixmap>(loaded.copy());
}

int CCheckImageButton::GetCheck() const {
    return CheckQueryResult(m_nCheck);
}

int CCheckImageButton::SetCheck(int value) {
    m_nCheck = SetCheckResult(m_nCheck, value);
    update();
    return 0;
}

QSize CCheckImageButton::sizeHint() const {
    return {100, 20};
}

void CCheckImageButton::paintEvent(QPaintEvent*) {
    if (!m_pStrip)
        return;
    QPainter painter(this);
    const int cell = CheckStripCell(m_nCheck, isEnabled());
    painter.drawPixmap(0, 0, *m_pStrip, cell * m_nCellWidth, 0, m_nCellWidth, m_nCellHeight);

    // The caption's cell is filled white behind the text, like opaque text on a window.
    painter.setFont(m_font.value_or(font()));
    painter.setPen(m_crText);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(Qt::white);
    const QFontMetrics metrics(painter.font());
    painter.drawText(kCaptionX, kCaptionY + metrics.ascent(), m_strCaption);
}

void CCheckImageButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_nCheck = ClickedCheck(m_nCheck, m_bAutoToggle);
    emit command(GetCtrlId(this), 0);
    update();
    // Handled here: an ignored press would travel on to the parent.
    event->accept();
}

}  // namespace velquor

#include "ui/image_text_button.h"

#include <qdrawutil.h>
#include <QFocusEvent>
#include <QMetaObject>
#include <QPainter>
#include <QPen>

#include "ui/ctrl_id.h"
#include "ui/resources.h"

namespace velquor {
namespace {

const QColor kCaptionWithoutImages(20, 20, 200);

}  // namespace

int TextFormatToQtFlags(unsigned nFormat) {
    int flags = 0;
    if (nFormat & kDtCenter)
        flags |= Qt::AlignHCenter;
    else if (nFormat & kDtRight)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    // Vertical placement applies to single lines only, as with formatted text.
    if ((nFormat & kDtSingleLine) && (nFormat & kDtVCenter))
        flags |= Qt::AlignVCenter;
    else if ((nFormat & kDtSingleLine) && (nFormat & kDtBottom))
        flags |= Qt::AlignBottom;
    else
        flags |= Qt::AlignTop;
    if (nFormat & kDtSingleLine)
        flags |= Qt::TextSingleLine;
    else if (nFormat & kDtWordBreak)
        flags |= Qt::TextWordWrap;
    return flags;
}

int ChooseButtonImage(int nImageCount, ButtonLook look) {
    if (nImageCount <= 0)
        return -1;
    switch (look) {
        case ButtonLook::Disabled:
            return nImageCount == 3 ? 2 : 0;
        case ButtonLook::Pressed:
            return nImageCount >= 2 ? 1 : 0;
        case ButtonLook::Normal:
            break;
    }
    return 0;
}

CImageTextButton::CImageTextButton(QWidget* parent) : QPushButton(parent) {
    connect(this, &QPushButton::clicked, this, [this] { emit command(GetCtrlId(this), 0); });
}

CImageTextButton::~CImageTextButton() = default;

bool CImageTextButton::LoadBitmaps(int nNormalId, int nPressedId, int nDisabledId) {
    if (m_bImagesLoaded) {
        m_imageList.clear();
        m_bImagesLoaded = false;
    }
    const QPixmap normal = LoadBitmapResource(nNormalId);
    if (normal.isNull())
        return false;
    m_bmInfo = {normal.width(), normal.height()};
    m_rcImage = QRect(0, 0, normal.width(), normal.height());
    m_imageList.clear();
    m_imageList.push_back(normal);
    const QPixmap pressed = LoadBitmapResource(nPressedId);
    if (!pressed.isNull()) {
        m_imageList.push_back(pressed);
        if (nDisabledId != 0) {
            const QPixmap disabled = LoadBitmapResource(nDisabledId);
            if (!disabled.isNull())
                m_imageList.push_back(disabled);
        }
    }
    m_bImagesLoaded = true;
    updateGeometry();
    update();
    return true;
}

ButtonLook CImageTextButton::CurrentLook() const {
    if (!isEnabled())
        return ButtonLook::Disabled;
    return isDown() ? ButtonLook::Pressed : ButtonLook::Normal;
}

QSize CImageTextButton::sizeHint() const {
    return m_bImagesLoaded ? m_rcImage.size() : QPushButton::sizeHint();
}

void CImageTextButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawItem(painter);
    if (FocusFrameShown()) {
        // A dotted frame just inside the image, in black and white so it shows on
        // every image.
        const QRect frame = (m_bImagesLoaded ? m_rcImage : rect()).adjusted(2, 2, -3, -3);
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(frame);
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(frame);
    }
}

void CImageTextButton::focusInEvent(QFocusEvent* event) {
    switch (event->reason()) {
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
        case Qt::ShortcutFocusReason:
            m_bKeyboardFocus = true;
            break;
        case Qt::MouseFocusReason:
            m_bKeyboardFocus = false;
            break;
        default:
            break;  // the window came back: as it was when it went
    }
    QPushButton::focusInEvent(event);
}

void CImageTextButton::mousePressEvent(QMouseEvent* event) {
    // Already focused from the keyboard, the button is now the mouse's.
    m_bKeyboardFocus = false;
    QPushButton::mousePressEvent(event);
}

void CImageTextButton::DrawItem(QPainter& painter) {
    QRect target = rect();
    int count = 0;
    if (m_bImagesLoaded) {
        count = ImageCount();
        if (size() != m_rcImage.size()) {
            // Resizing inside a paint would nest paints; do it once this one is done.
            QMetaObject::invokeMethod(
                this, [this] { resize(m_rcImage.size()); }, Qt::QueuedConnection);
        }
        target = m_rcImage;
    }

    qDrawWinButton(&painter, target, palette(), true, &palette().button());

    const ButtonLook look = CurrentLook();
    QColor textColor = kCaptionWithoutImages;
    if (m_bImagesLoaded) {
        textColor = look == ButtonLook::Disabled ? m_crTextDisabled : m_crText;
        const int image = ChooseButtonImage(count, look);
        if (image >= 0)
            painter.drawPixmap(target.topLeft(), m_imageList[static_cast<std::size_t>(image)]);
    }

    if (m_strCaption.isEmpty())
        return;
    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(textColor);
    if (m_font)
        painter.setFont(*m_font);
    if (m_nTextX != -1 && m_nTextY != -1) {
        const QFontMetrics metrics(painter.font());
        painter.drawText(m_nTextX, m_nTextY + metrics.ascent(), m_strCaption);
    } else {
        painter.drawText(target, TextFormatToQtFlags(m_nTextFormat), m_strCaption);
    }
    painter.restore();
}

}  // namespace velquor

#include "ui/cd_slider_ctrl_diamond.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cstdint>

#include "display/color_adjust_luma.h"
#include "ui/ctrl_id.h"
#include "ui/resources.h"

namespace velquor {
namespace {

const QColor kShadeFill(10, 10, 10);

QColor AdjustLuma(const QColor& c, int n) {
    const RgbColor out = ColorAdjustLuma({c.red(), c.green(), c.blue()}, n, true);
    return QColor(out.r, out.g, out.b);
}

template <std::size_t N>
QPolygon ToPolygon(const std::array<SliderPoint, N>& points) {
    QPolygon polygon;
    for (const auto& p : points)
        polygon << QPoint(p.x, p.y);
    return polygon;
}

}  // namespace

CCDSliderCtrlDiamond::CCDSliderCtrlDiamond(QWidget* parent)
    : QSlider(Qt::Horizontal, parent),
      m_bmpChannelPlain(LoadBitmapResource(kBmpChannelPlain)),
      m_bmpChannelTicks(LoadBitmapResource(kBmpChannelTicks)) {
    setMouseTracking(true);  // for the hot state of the thumb
    setFocusPolicy(Qt::StrongFocus);
}

CCDSliderCtrlDiamond::~CCDSliderCtrlDiamond() = default;

void CCDSliderCtrlDiamond::InitColors() {
    m_crBase = QColor(200, 200, 240);
    m_crLight = AdjustLuma(m_crBase, 500);
    m_crDark = AdjustLuma(m_crBase, -333);
    m_brushSolid = QBrush(m_crBase);

    // Set bits take the base colour and clear bits the light one, as with a monochrome
    // pattern brush drawn with background m_crBase and text colour m_crLight.
    QImage pattern(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x)
            pattern.setPixelColor(x, y, CheckerBitAt(x, y, {0, 0}) ? m_crBase : m_crLight);
    }
    m_brushPattern = QBrush(pattern);
    update();
}

void CCDSliderCtrlDiamond::SetRange(int nMin, int nMax, bool bRedraw) {
    setRange(nMin, nMax);
    const std::int64_t range = static_cast<std::int64_t>(maximum()) - minimum();
    setPageStep(static_cast<int>(std::max<std::int64_t>(1, range / 5)));
    if (bRedraw)
        update();
}

int CCDSliderCtrlDiamond::GetPos() const {
    return value();
}

void CCDSliderCtrlDiamond::SetPos(int nPos) {
    setValue(nPos);
}

ThumbRect CCDSliderCtrlDiamond::GetThumbItemRect() const {
    return ThumbItemRect(width(), height(), minimum(), maximum(), sliderPosition());
}

bool CCDSliderCtrlDiamond::IsThumbHighlighted() const {
    return isSliderDown() || m_bHot || hasFocus();
}

QSize CCDSliderCtrlDiamond::sizeHint() const {
    return {100, 24};
}

void CCDSliderCtrlDiamond::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    DrawThumb(painter);
}

void CCDSliderCtrlDiamond::DrawThumb(QPainter& painter) {
    m_bNotifyPending = true;
    painter.save();

    // The channel bitmap replaces the channel and tick marks.
    painter.drawPixmap(0, 0, m_bPlainChannel ? m_bmpChannelPlain : m_bmpChannelTicks);

    const ThumbRect r = GetThumbItemRect();
    if (IsThumbHighlighted()) {
        const SliderPoint origin = PatternOrigin(r);
        painter.setBrushOrigin(origin.x, origin.y);
        painter.setBrush(m_brushPattern);
    } else {
        painter.setBrush(m_brushSolid);
    }
    painter.setPen(QPen(m_crDark, 1));
    painter.drawPolygon(ToPolygon(ThumbOctagon(r)));

    if (!m_bPlainChannel) {
        const ThumbShade shade = ComputeThumbShade(r);
        if (shade.width > 0 && shade.height > 0 && shade.blendWidth > 0 && shade.blendHeight > 0) {
            // A new bitmap starts black; only the octagon inside it is the shade colour.
            QImage shadeImage(shade.width, shade.height, QImage::Format_RGB32);
            shadeImage.fill(Qt::black);
            QPainter shadePainter(&shadeImage);
            shadePainter.setPen(Qt::black);
            shadePainter.setBrush(kShadeFill);
            shadePainter.drawPolygon(ToPolygon(shade.octagon));
            shadePainter.end();
            painter.setOpacity(ShadeAlpha(GetPos()) / 255.0);
            painter.drawImage(
                QRect(shade.dest.x, shade.dest.y, shade.blendWidth, shade.blendHeight), shadeImage,
                QRect(1, 1, shade.blendWidth, shade.blendHeight));
        }
    }
    painter.restore();
}

void CCDSliderCtrlDiamond::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPoint at = event->position().toPoint();
    const ThumbRect r = GetThumbItemRect();
    if (ThumbHit(r, at.x(), at.y())) {
        m_nDragOffset = at.x() - r.left;
        setSliderDown(true);
    } else {
        triggerAction(at.x() < r.left ? SliderPageStepSub : SliderPageStepAdd);
    }
    update();
    event->accept();
}

void CCDSliderCtrlDiamond::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (m_nDragOffset >= 0 && isSliderDown()) {
        setSliderPosition(
            PositionFromThumbLeft(width(), minimum(), maximum(), at.x() - m_nDragOffset));
    }
    const ThumbRect r = GetThumbItemRect();
    SetHot(ThumbHit(r, at.x(), at.y()));
    event->accept();
}

void CCDSliderCtrlDiamond::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    OnLButtonUp();
    event->accept();
}

void CCDSliderCtrlDiamond::OnLButtonUp() {
    // The owner hears of the release before the drag ends here.
    if (m_bNotifyPending) {
        m_bNotifyPending = false;
        emit released(GetCtrlId(this), SLN_RELEASED, GetPos());
    }
    m_nDragOffset = -1;
    if (isSliderDown())
        setSliderDown(false);
    update();
}

void CCDSliderCtrlDiamond::leaveEvent(QEvent* event) {
    SetHot(false);
    QSlider::leaveEvent(event);
}

void CCDSliderCtrlDiamond::SetHot(bool hot) {
    if (hot == m_bHot)
        return;
    m_bHot = hot;
    update();
}

}  // namespace velquor

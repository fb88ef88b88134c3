#pragma once

#include <QBrush>
#include <QColor>
#include <QPixmap>
#include <QSlider>

#include "ui/slider_geometry.h"

namespace velquor {

// Notification code of the release notification.
inline constexpr int SLN_RELEASED = 100;

// Horizontal slider drawn over a channel bitmap with an octagonal thumb. It tells its owner
// the position whenever the mouse button is released over it after the thumb was painted.
class CCDSliderCtrlDiamond : public QSlider {
    Q_OBJECT

public:
    explicit CCDSliderCtrlDiamond(QWidget* parent = nullptr);
    ~CCDSliderCtrlDiamond() override;

    // Thumb colours and brushes; may be called again.
    void InitColors();

    // Trackbar-style range and position. The page step follows the range (a fifth of it).
    void SetRange(int nMin, int nMax, bool bRedraw = false);
    int GetPos() const;
    void SetPos(int nPos);

    ThumbRect GetThumbItemRect() const;
    // The thumb's item state is non-zero: pressed, hot (under the mouse) or focused.
    bool IsThumbHighlighted() const;

    QSize sizeHint() const override;

    // The owner sets m_bPlainChannel directly after creation.
    bool m_bNotifyPending = false;
    int m_bPlainChannel = 0;
    QColor m_crBase;
    QColor m_crDark;
    QColor m_crLight;
    QBrush m_brushSolid;
    QBrush m_brushPattern;

signals:
    // The release record: sender's control id, SLN_RELEASED and the position when sent.
    void released(int idFrom, int code, int nPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void OnLButtonUp();
    void DrawThumb(QPainter& painter);
    void SetHot(bool hot);

    QPixmap m_bmpChannelPlain;
    QPixmap m_bmpChannelTicks;
    bool m_bHot = false;
    int m_nDragOffset = -1;  // mouse x minus thumb left while dragging, -1 otherwise
};

}  // namespace velquor

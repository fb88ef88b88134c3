#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <optional>
#include <vector>

namespace velquor {

// Formatted-text flags of the caption.
inline constexpr unsigned kDtCenter = 0x01;
inline constexpr unsigned kDtRight = 0x02;
inline constexpr unsigned kDtVCenter = 0x04;
inline constexpr unsigned kDtBottom = 0x08;
inline constexpr unsigned kDtWordBreak = 0x10;
inline constexpr unsigned kDtSingleLine = 0x20;

// Qt alignment and text flags for the formatted-text flags above.
int TextFormatToQtFlags(unsigned nFormat);

enum class ButtonLook { Normal, Pressed, Disabled };

// Image index for a look: disabled uses image 2 only when there are exactly 3 images, pressed
// uses image 1 when there are at least 2; everything else image 0. -1 when there are none.
int ChooseButtonImage(int nImageCount, ButtonLook look);

// Only the size of the normal image is kept.
struct BitmapInfo {
    int bmWidth = 0;
    int bmHeight = 0;
};

// A push button that paints one of its images (normal, pressed, optional disabled) with an
// optional caption over it, and takes the size of its images. The owner writes the caption,
// colours, position, format and font directly.
class CImageTextButton : public QPushButton {
    Q_OBJECT

public:
    explicit CImageTextButton(QWidget* parent = nullptr);
    ~CImageTextButton() override;

    // Replaces the images with the bitmaps of these resource ids. Without a loadable normal
    // bitmap the button is left without images and false is returned; a missing pressed or
    // disabled bitmap only leaves that image out.
    bool LoadBitmaps(int nNormalId, int nPressedId, int nDisabledId = 0);

    int ImageCount() const { return static_cast<int>(m_imageList.size()); }
    ButtonLook CurrentLook() const;

    QSize sizeHint() const override;

    // The focus frame is drawn while the button has the keyboard focus from the
    // keyboard (Tab), not after a click, so the window looks as ever to the mouse.
    bool FocusFrameShown() const { return m_bKeyboardFocus && hasFocus(); }

    BitmapInfo m_bmInfo;
    std::vector<QPixmap> m_imageList;
    bool m_bImagesLoaded = false;
    QString m_strCaption;
    QRect m_rcImage;
    QColor m_crText{255, 255, 255};
    QColor m_crTextDisabled{255, 255, 255};
    int m_nTextX = -1;
    int m_nTextY = -1;
    unsigned m_nTextFormat = kDtCenter | kDtVCenter | kDtSingleLine;
    std::optional<QFont> m_font;

signals:
    // The click notification: the control's id and code 0 (clicked).
    void command(int nId, int nCode);

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void DrawItem(QPainter& painter);

    bool m_bKeyboardFocus = false;
};

}  // namespace velquor

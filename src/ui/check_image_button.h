#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

namespace velquor {

// Check states, as the standard check-box queries report them.
inline constexpr int kUnchecked = 0;
inline constexpr int kChecked = 1;
inline constexpr int kIndeterminate = 2;

// Strip cell for a state: the check state when enabled, the greyed cell when disabled. A
// state outside 0..2 (the owner may write m_nCheck directly) shows the empty box, as the
// check query reports it unchecked.
int CheckStripCell(int nCheck, bool bEnabled);

// What the check query (BM_GETCHECK) answers.
int CheckQueryResult(int nCheck);

// The state after a click: auto-toggling flips 0 and 1; 2 stays.
int ClickedCheck(int nCheck, bool bAutoToggle);

// The state after a check set (BM_SETCHECK): 0, 1 and 2 are taken, anything else is ignored.
int SetCheckResult(int nCurrent, int nValue);

// A check box drawn from bitmap strip 133 (empty, ticked, greyed) with a caption beside it.
// The owner writes the public members directly.
class CCheckImageButton : public QWidget {
    Q_OBJECT

public:
    explicit CCheckImageButton(QWidget* parent = nullptr);
    ~CCheckImageButton() override;

    // Loads a private copy of the strip and takes the cell size from it.
    void LoadStrip();

    int GetCheck() const;     // BM_GETCHECK
    int SetCheck(int value);  // BM_SETCHECK; repaints in every case, returns 0

    QSize sizeHint() const override;

    bool m_bAutoToggle = false;
    int m_nCellWidth = 0;
    int m_nCellHeight = 0;
    std::unique_ptr<QPixmap> m_pStrip;
    int m_nCheck = kUnchecked;
    QString m_strCaption;
    QColor m_crText{10, 10, 100};
    std::optional<QFont> m_font;

signals:
    // The click notification: the control's id and code 0 (clicked).
    void command(int nId, int nCode);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace velquor

#pragma once

class QWidget;

namespace velquor {

// Control and command ids travel on the widgets as the dynamic property "ctrlId", so the
// view and the tests can find every control by the number the rest of the program uses.
inline constexpr char kCtrlIdProperty[] = "ctrlId";

void SetCtrlId(QWidget* widget, int id);

// 0 when the widget carries no id, as for a window without a control id.
int GetCtrlId(const QWidget* widget);

// The first descendant of root (root itself included) with that id, or nullptr.
QWidget* FindByCtrlId(QWidget* root, int id);

}  // namespace velquor

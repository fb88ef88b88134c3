#include "ui/ctrl_id.h"

#include <QVariant>
#include <QWidget>

namespace velquor {

void SetCtrlId(QWidget* widget, int id) {
    if (widget)
        widget->setProperty(kCtrlIdProperty, id);
}

int GetCtrlId(const QWidget* widget) {
    if (!widget)
        return 0;
    bool ok = false;
    const int id = widget->property(kCtrlIdProperty).toInt(&ok);
    return ok ? id : 0;
}

QWidget* FindByCtrlId(QWidget* root, int id) {
    if (!root)
        return nullptr;
    if (GetCtrlId(root) == id)
        return root;
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (GetCtrlId(child) == id)
            return child;
    }
    return nullptr;
}

}  // namespace velquor

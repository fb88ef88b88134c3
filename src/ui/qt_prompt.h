#pragma once

#include <QPointer>
#include <QWidget>

#include "meter/prompt.h"

namespace velquor {

// Message boxes and the meter dialog on the GUI thread. Calls from another
// thread (a sequence running behind the busy indication) are carried over to the
// GUI thread and wait there for the user's answer.
class CQtPrompt : public IPrompt {
public:
    explicit CQtPrompt(QWidget* parent) : m_parent(parent) {}

    void ShowMessage(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    bool SelectDevice(const std::vector<std::string>& lines, int& selected) override;

private:
    template <typename F>
    void OnGuiThread(F&& f);

    QPointer<QWidget> m_parent;
};

}  // namespace velquor

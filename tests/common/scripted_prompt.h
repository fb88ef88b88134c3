#pragma once

#include <deque>
#include <string>
#include <vector>

#include "meter/prompt.h"

namespace velquor::testing_support {

// Records every message and question and answers from a script.
class ScriptedPrompt : public IPrompt {
public:
    struct Shown {
        std::string text;
        std::string caption;
    };

    void ShowMessage(const std::string& text, const std::string& caption) override {
        messages.push_back({text, caption});
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        questions.push_back({text, caption});
        if (yesNo.empty())
            return false;
        const bool answer = yesNo.front();
        yesNo.pop_front();
        return answer;
    }
    bool SelectDevice(const std::vector<std::string>& lines, int& selected) override {
        ++dialogs;
        offered = lines;
        selected = 0;
        if (selectOk)
            selected = selectLine;
        return selectOk;
    }

    std::vector<Shown> messages;
    std::vector<Shown> questions;
    std::deque<bool> yesNo;
    bool selectOk = true;
    int selectLine = 0;
    int dialogs = 0;
    std::vector<std::string> offered;
};

}  // namespace velquor::testing_support

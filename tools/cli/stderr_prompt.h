#pragma once

#include <optional>

#include "meter/prompt.h"

namespace velquor::cli {

// Messages go to stderr as one line each; questions take a preset answer
// (No when none is given); the meter choice is made by serial number beforehand.
class CStderrPrompt : public IPrompt {
public:
    void ShowMessage(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    bool SelectDevice(const std::vector<std::string>& lines, int& selected) override;

    std::optional<bool> yesNoAnswer;
    // Serial number to choose when several meters are offered; empty keeps the
    // default (the first) and notes the others on stderr.
    std::string wantedSerial;
    bool wantedFound = false;
    std::vector<std::string> shown;
};

}  // namespace velquor::cli

#pragma once

#include <optional>
#include <string>
#include <vector>

#include "meter/prompt.h"
#include "stop_signal.h"

namespace velquor::cli {

// The sequences' messages as one line each on stderr, "velquor-cli: " first;
// questions take a preset answer (No when none is given). The setup's success message is left to
// the command, which prints it on stdout, and nothing is shown once a stop was requested (the
// sequence's failure is then the interruption's doing).
class CStderrPrompt : public IPrompt {
public:
    explicit CStderrPrompt(const StopSignal& stop) : m_stop(stop) {}

    void ShowMessage(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    bool SelectDevice(const std::vector<std::string>& lines, int& selected) override;

    std::optional<bool> yesNoAnswer;
    std::vector<std::string> shown;

private:
    const StopSignal& m_stop;
};

}  // namespace velquor::cli

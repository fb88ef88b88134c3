#include "stderr_prompt.h"

#include <cstdio>

#include "cli_text.h"
#include "meter/unit_sequences.h"

namespace velquor::cli {

void CStderrPrompt::ShowMessage(const std::string& text, const std::string&) {
    shown.push_back(text);
    if (text == kMsgSetupDone || m_stop.Requested())
        return;
    std::fprintf(stderr, "velquor-cli: %s\n", PrintableText(text).c_str());
}

bool CStderrPrompt::AskYesNo(const std::string& text, const std::string&) {
    const bool answer = yesNoAnswer.value_or(false);
    if (!yesNoAnswer)
        std::fprintf(stderr, "velquor-cli: %s No\n", text.c_str());
    return answer;
}

bool CStderrPrompt::SelectDevice(const std::vector<std::string>&, int&) {
    // The tool chooses the meter before the sequence runs and opens it by name.
    return false;
}

}  // namespace velquor::cli

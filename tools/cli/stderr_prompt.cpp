#include "stderr_prompt.h"

#include <cstdio>

namespace velquor::cli {

void CStderrPrompt::ShowMessage(const std::string& text, const std::string&) {
    shown.push_back(text);
    std::fprintf(stderr, "%s\n", text.c_str());
}

bool CStderrPrompt::AskYesNo(const std::string& text, const std::string&) {
    const bool answer = yesNoAnswer.value_or(false);
    std::fprintf(stderr, "%s %s\n", text.c_str(), answer ? "Yes" : "No");
    return answer;
}

bool CStderrPrompt::SelectDevice(const std::vector<std::string>& lines, int& selected) {
    if (!wantedSerial.empty()) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind(wantedSerial + " - ", 0) == 0) {
                selected = static_cast<int>(i);
                wantedFound = true;
                return true;
            }
        }
        return false;
    }
    std::string others;
    for (std::size_t i = 1; i < lines.size(); ++i)
        others += (i > 1 ? "; " : "") + lines[i];
    std::fprintf(stderr,
                 "note: using the first meter (%s); also found: %s (choose with --serial)\n",
                 lines.empty() ? "" : lines[0].c_str(), others.c_str());
    return false;
}

}  // namespace velquor::cli

#include "app/unattended_prompt.h"

namespace velquor {

void CUnattendedPrompt::Line(const std::string& text) {
    std::string line = "velquor: ";
    for (char c : text)
        line += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    std::fprintf(m_out, "%s\n", line.c_str());
}

void CUnattendedPrompt::ShowMessage(const std::string& text, const std::string&) {
    Line(text);
}

bool CUnattendedPrompt::AskYesNo(const std::string& text, const std::string&) {
    Line(text + " -> No");
    return false;
}

bool CUnattendedPrompt::SelectDevice(const std::vector<std::string>& lines, int& selected) {
    if (lines.empty())
        return false;
    selected = 0;
    Line("using the first meter: " + lines.front());
    return true;
}

}  // namespace velquor

#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "meter/prompt.h"

namespace velquor {

// The prompt of an unattended run (--snapshot): nobody is there to close a message box,
// so messages go to a stream as one line each, questions are answered No and the first
// meter offered is taken.
class CUnattendedPrompt : public IPrompt {
public:
    explicit CUnattendedPrompt(std::FILE* out = stderr) : m_out(out) {}

    void ShowMessage(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    bool SelectDevice(const std::vector<std::string>& lines, int& selected) override;

private:
    void Line(const std::string& text);

    std::FILE* m_out;
};

}  // namespace velquor

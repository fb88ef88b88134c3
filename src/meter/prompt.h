#pragma once

#include <string>
#include <vector>

namespace velquor {

// Caption of every message box that names no caption of its own.
inline constexpr const char* kAppTitle = "Orvane ViridIrivi RA";

// The user-facing questions and messages of the sequences. The GUI implements it
// with modal boxes and dialogs, the command-line tool with stderr, the tests with
// a script. Called on the thread that runs the sequence.
class IPrompt {
public:
    virtual ~IPrompt() = default;
    // A message with an OK button.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    // A question with Yes and No buttons; true for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
    // The meter selection dialog: lines in order, the first selected. True when the
    // user pressed OK, with selected set to the chosen line's position.
    virtual bool SelectDevice(const std::vector<std::string>& lines, int& selected) = 0;
};

}  // namespace velquor

#pragma once

#include <optional>
#include <string>

namespace velquor {

// The choices of the save-options dialog.
struct LogFileOptions {
    std::string path;
    char delimiter = '\t';
    bool includeHeader = true;
    bool includeIndex = true;
};

// The modal parts of starting a log and the end of it. The GUI implements it with
// message boxes, the save-options dialog and the desktop; tests with a script.
// Called on the GUI thread only.
class ILogUi {
public:
    virtual ~ILogUi() = default;
    // ownedByView false for a box with no owner window.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             bool ownedByView) = 0;
    // Nothing when the dialog was cancelled or closed with OK without a browsed file.
    virtual std::optional<LogFileOptions> AskSaveOptions() = 0;
    // Opens the finished file with the desktop's default application.
    virtual void OpenFile(const std::string& path) = 0;
};

}  // namespace velquor

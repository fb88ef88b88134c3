#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "logging/log_ui.h"

namespace velquor::testing_support {

// Writes the log to a file chosen beforehand, comma-delimited; any message is a failure.
class LogTo : public ILogUi {
public:
    explicit LogTo(std::string path) : m_path(std::move(path)) {}
    void ShowMessage(const std::string& text, const std::string&, bool) override {
        ADD_FAILURE() << "message: " << text;
    }
    std::optional<LogFileOptions> AskSaveOptions() override {
        LogFileOptions options;
        options.path = m_path;
        options.delimiter = ',';
        return options;
    }
    void OpenFile(const std::string&) override {}

private:
    std::string m_path;
};

}  // namespace velquor::testing_support

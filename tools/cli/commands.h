#pragma once

#include "cli_options.h"

namespace velquor::cli {

// Each command returns the process exit status.
int RunMonitor(const Options& options);
int RunList(const Options& options);
int RunInfo(const Options& options);
int RunSetup(const Options& options);
int RunLog(const Options& options);

// Prints "velquor-cli: reason" on stderr (nothing for an empty reason) and returns 1.
int Fail(const std::string& reason);

// Blocks SIGINT and SIGTERM so a command can poll for them between waits.
void BlockStopSignals();
// True once SIGINT or SIGTERM is pending; consumes it.
bool StopRequested();

}  // namespace velquor::cli

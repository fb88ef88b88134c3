#pragma once

#include <filesystem>
#include <string>
#include <vector>

// File-system questions the commands ask, and the one signal setting, whose calls
// differ between Linux and Windows. Paths are UTF-8.
namespace velquor::cli::platform {

bool IsFolder(const std::string& path);
// Whether any entry has the name (a dangling link too).
bool PathTaken(const std::string& path);
// Whether a device's node (Windows: its COM port) is known to be gone.
bool DeviceGone(const std::string& path);
// The path for the standard library's file streams, every character kept.
std::filesystem::path NativePath(const std::string& path);
// The program's arguments in UTF-8 (Windows hands main() the ANSI code page, which
// loses characters), and the console set to show UTF-8 output.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// What `list` says when it found no meter: where to look on this system.
std::string NothingListedText(std::size_t otherDevices, bool every);
// A file-size limit must give an error message, not end the process.
void KeepFileSizeLimitAnError();

}  // namespace velquor::cli::platform

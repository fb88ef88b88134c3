#pragma once

#include <cstdarg>
#include <cstddef>
#include <ctime>
#include <string>

// The few C library calls whose form differs between Linux and Windows.
namespace velquor::platform {

// strtod and vsnprintf in the "C" locale, whatever locale the process has.
double StrtodC(const char* text, char** end);
int VsnprintfC(char* buffer, std::size_t size, const char* format, va_list args);

// The broken-down local time of t; false when it cannot be had.
bool LocalTime(std::time_t t, std::tm& parts);
bool UtcTime(std::time_t t, std::tm& parts);

// A file created or emptied for writing (path in UTF-8): its descriptor, or -1
// with the errno value in error.
int CreateForWriting(const std::string& path, int& error);
// Writes at most length bytes; the count written, or -1 with errno set.
long long WriteSome(int fd, const void* data, std::size_t length);
void CloseFile(int fd);

}  // namespace velquor::platform

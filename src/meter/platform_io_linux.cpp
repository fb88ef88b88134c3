#include "meter/platform_io.h"

#include <fcntl.h>
#include <locale.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace velquor::platform {

namespace {

// The "C" locale handle, created once and kept for the life of the process.
locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

}  // namespace

double StrtodC(const char* text, char** end) {
    return strtod_l(text, end, CLocale());
}

int VsnprintfC(char* buffer, std::size_t size, const char* format, va_list args) {
    const locale_t previous = uselocale(CLocale());
    const int n = vsnprintf(buffer, size, format, args);
    uselocale(previous);
    return n;
}

bool LocalTime(std::time_t t, std::tm& parts) {
    return localtime_r(&t, &parts) != nullptr;
}

bool UtcTime(std::time_t t, std::tm& parts) {
    return gmtime_r(&t, &parts) != nullptr;
}

int CreateForWriting(const std::string& path, int& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    error = fd < 0 ? errno : 0;
    return fd;
}

long long WriteSome(int fd, const void* data, std::size_t length) {
    return write(fd, data, length);
}

void CloseFile(int fd) {
    close(fd);
}

}  // namespace velquor::platform

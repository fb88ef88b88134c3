#include "meter/platform_io.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <locale.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace velquor::platform {

namespace {

_locale_t CLocale() {
    static const _locale_t c = _create_locale(LC_ALL, "C");
    return c;
}

}  // namespace

double StrtodC(const char* text, char** end) {
    return _strtod_l(text, end, CLocale());
}

int VsnprintfC(char* buffer, std::size_t size, const char* format, va_list args) {
    // MinGW's own C99 formatter (%zu, %lld, %a as on Linux). It takes its decimal
    // point from the C library's locale, which these programs never change from "C".
    return __mingw_vsnprintf(buffer, size, format, args);
}

bool LocalTime(std::time_t t, std::tm& parts) {
    return localtime_s(&parts, &t) == 0;
}

bool UtcTime(std::time_t t, std::tm& parts) {
    return gmtime_s(&parts, &t) == 0;
}

int CreateForWriting(const std::string& path, int& error) {
    std::wstring wide;
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    wide.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
    int fd = -1;
    error = _wsopen_s(&fd, wide.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                      _SH_DENYNO, _S_IREAD | _S_IWRITE);
    return error == 0 ? fd : -1;
}

long long WriteSome(int fd, const void* data, std::size_t length) {
    const unsigned int chunk = length > 0x40000000u ? 0x40000000u : static_cast<unsigned>(length);
    return _write(fd, data, chunk);
}

void CloseFile(int fd) {
    _close(fd);
}

}  // namespace velquor::platform

#include "logging/log_file_writer.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

namespace velquor {

namespace {

std::wstring Wide(const std::string& text) {
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                      static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        out.data(), n);
    return out;
}

}  // namespace

CLogFileWriter::~CLogFileWriter() {
    if (m_fd >= 0)
        ::_close(m_fd);
}

bool CLogFileWriter::Open(const std::string& path) {
    Close();
    m_bFailed = false;
    m_nSize = 0;
    m_strError.clear();
    // Paths arrive as UTF-8; the wide call keeps every character of the name.
    const std::wstring wide = Wide(path);
    if (wide.empty()) {
        Fail("", path.empty() ? ENOENT : EILSEQ);
        return false;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        Fail("", EISDIR);
        return false;
    }
    // Denying other writers is the lock: a second logger's open fails. No _O_TRUNC:
    // a file another logger holds must not be emptied before its lock is seen.
    int fd = -1;
    const errno_t opened =
        ::_wsopen_s(&fd, wide.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYWR,
                    _S_IREAD | _S_IWRITE);
    if (opened != 0) {
        if (opened == EACCES && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
            m_bFailed = true;
            m_strError = "the file is being written by another program";
        } else {
            Fail("", opened);
        }
        return false;
    }
    if (GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) != FILE_TYPE_DISK) {
        m_bFailed = true;
        m_strError = "not a regular file";
        ::_close(fd);
        return false;
    }
    if (::_chsize_s(fd, 0) != 0) {
        Fail("", errno);
        ::_close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

bool CLogFileWriter::Close() {
    if (m_fd < 0)
        return true;
    const int result = ::_close(m_fd);
    m_fd = -1;
    if (result != 0 && !m_bFailed) {
        Fail("close", errno);
        return false;
    }
    return result == 0;
}

ssize_t CLogFileWriter::SysWrite(int fd, const void* data, std::size_t length, off_t offset) {
    if (::_lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) < 0)
        return -1;
    const unsigned int chunk = length > 0x40000000u ? 0x40000000u : static_cast<unsigned>(length);
    return ::_write(fd, data, chunk);
}

int CLogFileWriter::SysSync(int fd) {
    // Flushes the file's data and metadata to the disk (FlushFileBuffers).
    return ::_commit(fd);
}

int CLogFileWriter::SysTruncate(int fd, off_t length) {
    return ::_chsize_s(fd, static_cast<__int64>(length)) == 0 ? 0 : -1;
}

}  // namespace velquor

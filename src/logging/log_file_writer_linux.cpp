#include "logging/log_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velquor {

CLogFileWriter::~CLogFileWriter() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CLogFileWriter::Open(const std::string& path) {
    Close();
    m_bFailed = false;
    m_nSize = 0;
    m_strError.clear();
    // Non-blocking so that a FIFO without a reader cannot hang the open; the flag is
    // cleared again below. No O_TRUNC: a file another logger holds must not be
    // emptied before its lock is seen.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) {
        Fail("", errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        Fail("", errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        m_bFailed = true;
        m_strError = "not a regular file";
        ::close(fd);
        return false;
    }
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        const int error = errno;
        if (error == EAGAIN || error == EACCES) {
            m_bFailed = true;
            m_strError = "the file is being written by another program";
        } else {
            Fail("lock", error);
        }
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || ::ftruncate(fd, 0) != 0) {
        Fail("", errno);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

bool CLogFileWriter::Close() {
    if (m_fd < 0)
        return true;
    const int result = ::close(m_fd);
    m_fd = -1;
    if (result != 0 && !m_bFailed) {
        Fail("close", errno);
        return false;
    }
    return result == 0;
}

ssize_t CLogFileWriter::SysWrite(int fd, const void* data, std::size_t length, off_t offset) {
    return ::pwrite(fd, data, length, offset);
}

int CLogFileWriter::SysSync(int fd) {
    return ::fdatasync(fd);
}

int CLogFileWriter::SysTruncate(int fd, off_t length) {
    return ::ftruncate(fd, length);
}

}  // namespace velquor

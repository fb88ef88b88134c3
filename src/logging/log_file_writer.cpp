#include "logging/log_file_writer.h"

#include <cerrno>
#include <system_error>

namespace velquor {

namespace {

std::string ErrnoText(int error) {
    return std::generic_category().message(error);
}

}  // namespace

void CLogFileWriter::Fail(const std::string& what, int error) {
    m_bFailed = true;
    m_strError = what.empty() ? ErrnoText(error) : what + ": " + ErrnoText(error);
}

bool CLogFileWriter::Append(std::string_view bytes) {
    if (m_fd < 0 || m_bFailed) {
        if (!m_bFailed) {
            m_bFailed = true;
            m_strError = "the file is not open";
        }
        return false;
    }
    std::size_t done = 0;
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t n = SysWrite(m_fd, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(m_nSize + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        if (n == 0) {
            // A regular file that accepts nothing is as full as one that says so.
            error = ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (error == 0 && SysSync(m_fd) != 0)
        error = errno;
    if (error == 0) {
        m_nSize += bytes.size();
        return true;
    }
    Fail("", error);
    // Cut the row back off, so the file ends after the last complete row.
    if (SysTruncate(m_fd, static_cast<off_t>(m_nSize)) != 0)
        m_strError += "; the unfinished row could not be removed (" + ErrnoText(errno) + ")";
    return false;
}

}  // namespace velquor

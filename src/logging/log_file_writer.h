#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace velquor {

// Writes a log file row by row so that the file only ever ends after a whole row:
// each row goes out at once, a short write is completed, and a row the disk
// refuses is cut back off. Every row is synced to the disk before it counts. The
// file is locked (an open-file-description write lock) while open, so a second
// writer, in this process or another, is refused instead of interleaving rows.
class CLogFileWriter {
public:
    CLogFileWriter() = default;
    virtual ~CLogFileWriter();
    CLogFileWriter(const CLogFileWriter&) = delete;
    CLogFileWriter& operator=(const CLogFileWriter&) = delete;

    // Creates or truncates a regular file and locks it. On failure Error() says why.
    bool Open(const std::string& path);
    // Appends bytes as one unit and syncs them. After a failure the writer refuses
    // all further appends: a failed sync is never retried and trusted.
    bool Append(std::string_view bytes);
    // Closes (and unlocks) the file; false when closing reported an error.
    bool Close();

    bool IsOpen() const { return m_fd >= 0; }
    bool Failed() const { return m_bFailed; }
    // The bytes written and synced so far.
    std::uint64_t Size() const { return m_nSize; }
    const std::string& Error() const { return m_strError; }

protected:
    // System calls, replaceable to inject faults. They return what the POSIX calls
    // return and leave the reason in errno.
    virtual ssize_t SysWrite(int fd, const void* data, std::size_t length, off_t offset);
    virtual int SysSync(int fd);
    virtual int SysTruncate(int fd, off_t length);

private:
    void Fail(const std::string& what, int error);

    int m_fd = -1;
    bool m_bFailed = false;
    std::uint64_t m_nSize = 0;
    std::string m_strError;
};

}  // namespace velquor

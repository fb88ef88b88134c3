#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>

#include "logging/log_file_writer.h"
#include "logging_test_support.h"

namespace velquor {
namespace {

using testing::FileSizeLimit;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const std::string kRow = "0,-12.34,0.00,77.0/25.0,09:05:03,03/07/2008,\r\n";

// Faults on demand: short writes, a refusal after some bytes, a failed sync.
class FaultyWriter : public CLogFileWriter {
public:
    std::size_t maxChunk = 0;  // 0: no limit
    long failAfterBytes = -1;  // refuse once this many bytes went through
    int writeError = ENOSPC;
    bool failSync = false;
    int writeCalls = 0;
    int syncCalls = 0;

protected:
    ssize_t SysWrite(int fd, const void* data, std::size_t length, off_t offset) override {
        ++writeCalls;
        if (failAfterBytes == 0) {
            errno = writeError;
            return -1;
        }
        std::size_t n = length;
        if (maxChunk != 0)
            n = std::min(n, maxChunk);
        if (failAfterBytes > 0)
            n = std::min(n, static_cast<std::size_t>(failAfterBytes));
        const ssize_t written = CLogFileWriter::SysWrite(fd, data, n, offset);
        if (failAfterBytes > 0 && written > 0)
            failAfterBytes -= written;
        return written;
    }
    int SysSync(int fd) override {
        ++syncCalls;
        if (failSync) {
            errno = EIO;
            return -1;
        }
        return CLogFileWriter::SysSync(fd);
    }
};

TEST(LogFileWriter, CreatesOrTruncatesAndAppendsWholeRows) {
    TempDir dir;
    const std::string path = dir.File("log.txt");
    WriteFile(path, "old content that must go");
    CLogFileWriter writer;
    ASSERT_TRUE(writer.Open(path)) << writer.Error();
    EXPECT_EQ(ReadFile(path), "");
    ASSERT_TRUE(writer.Append("line 1\r\n"));
    ASSERT_TRUE(writer.Append(kRow));
    EXPECT_EQ(writer.Size(), 8 + kRow.size());
    EXPECT_TRUE(writer.Close());
    EXPECT_EQ(ReadFile(path), "line 1\r\n" + kRow);
}

TEST(LogFileWriter, CompletesShortWrites) {
    TempDir dir;
    FaultyWriter writer;
    writer.maxChunk = 3;
    ASSERT_TRUE(writer.Open(dir.File("log.txt")));
    ASSERT_TRUE(writer.Append(kRow));
    EXPECT_EQ(writer.writeCalls, static_cast<int>((kRow.size() + 2) / 3));
    EXPECT_EQ(writer.syncCalls, 1);
    writer.Close();
    EXPECT_EQ(ReadFile(dir.File("log.txt")), kRow);
}

TEST(LogFileWriter, RefusedRowIsCutBackAndNothingMoreIsWritten) {
    TempDir dir;
    const std::string path = dir.File("log.txt");
    FaultyWriter writer;
    ASSERT_TRUE(writer.Open(path));
    ASSERT_TRUE(writer.Append(kRow));
    writer.failAfterBytes = 10;
    EXPECT_FALSE(writer.Append(kRow));
    EXPECT_TRUE(writer.Failed());
    EXPECT_NE(writer.Error().find("No space left on device"), std::string::npos) << writer.Error();
    EXPECT_EQ(ReadFile(path), kRow);
    const int calls = writer.writeCalls;
    writer.failAfterBytes = -1;
    EXPECT_FALSE(writer.Append(kRow));
    EXPECT_EQ(writer.writeCalls, calls);
    writer.Close();
    EXPECT_EQ(ReadFile(path), kRow);
}

TEST(LogFileWriter, FailedSyncIsNeitherRetriedNorTrusted) {
    TempDir dir;
    const std::string path = dir.File("log.txt");
    FaultyWriter writer;
    ASSERT_TRUE(writer.Open(path));
    ASSERT_TRUE(writer.Append(kRow));
    writer.failSync = true;
    EXPECT_FALSE(writer.Append(kRow));
    EXPECT_NE(writer.Error().find("Input/output error"), std::string::npos) << writer.Error();
    writer.failSync = false;
    const int syncs = writer.syncCalls;
    EXPECT_FALSE(writer.Append(kRow));
    EXPECT_EQ(writer.syncCalls, syncs);
    EXPECT_EQ(writer.Size(), kRow.size());
    writer.Close();
    EXPECT_EQ(ReadFile(path), kRow);
}

TEST(LogFileWriter, FullDiskLeavesOnlyCompleteRows) {
    TempDir dir;
    const std::string path = dir.File("log.txt");
    CLogFileWriter writer;
    ASSERT_TRUE(writer.Open(path));
    {
        // Room for two rows and part of a third.
        FileSizeLimit limit(kRow.size() * 2 + kRow.size() / 2);
        ASSERT_TRUE(limit.Ok());
        EXPECT_TRUE(writer.Append(kRow));
        EXPECT_TRUE(writer.Append(kRow));
        EXPECT_FALSE(writer.Append(kRow));
    }
    EXPECT_NE(writer.Error().find("File too large"), std::string::npos) << writer.Error();
    writer.Close();
    EXPECT_EQ(ReadFile(path), kRow + kRow);
}

TEST(LogFileWriter, LockRefusesASecondWriterWithoutTouchingTheFile) {
    TempDir dir;
    const std::string path = dir.File("log.txt");
    CLogFileWriter first;
    ASSERT_TRUE(first.Open(path));
    ASSERT_TRUE(first.Append(kRow));
    CLogFileWriter second;
    EXPECT_FALSE(second.Open(path));
    EXPECT_NE(second.Error().find("another program"), std::string::npos) << second.Error();
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(ReadFile(path), kRow);
    ASSERT_TRUE(first.Append(kRow));
    first.Close();
    EXPECT_TRUE(second.Open(path)) << second.Error();
    EXPECT_EQ(ReadFile(path), "");
}

TEST(LogFileWriter, LockIsSeenByAnotherProcess) {
    TempDir dir;
    const std::string path = dir.File("log.txt");
    CLogFileWriter writer;
    ASSERT_TRUE(writer.Open(path));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A cooperating program takes a classic record lock before writing.
        const int fd = ::open(path.c_str(), O_WRONLY);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const bool refused =
            fd >= 0 && ::fcntl(fd, F_SETLK, &lock) != 0 && (errno == EAGAIN || errno == EACCES);
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(LogFileWriter, RefusesWhatIsNotARegularFile) {
    TempDir dir;
    CLogFileWriter writer;
    EXPECT_FALSE(writer.Open(dir.File("missing/log.txt")));
    EXPECT_NE(writer.Error().find("No such file or directory"), std::string::npos);
    EXPECT_FALSE(writer.Open(dir.File("")));
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Without a reader, a blocking open would hang here.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(writer.Open(fifo));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(writer.Append(kRow));
}

}  // namespace
}  // namespace velquor

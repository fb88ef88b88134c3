#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace velquor::remote::testing {

// A plain blocking loopback client, as a script would be.
class TcpClient {
public:
    explicit TcpClient(std::uint16_t port, int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~TcpClient() { Close(); }
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    bool Connected() const { return connected_; }
    // Unblocks a send on another thread; Close once that thread is done.
    void Shutdown() { ::shutdown(fd_, SHUT_RDWR); }
    // Says "no more commands" and still reads, as `nc -N` does.
    void EndSending() { ::shutdown(fd_, SHUT_WR); }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    // False once the server has closed the connection.
    bool Send(const std::string& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // One line without its LF; "<timeout>" or "<closed>" otherwise.
    std::string ReadLine(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const std::size_t lf = buffer_.find('\n');
            if (lf != std::string::npos) {
                std::string line = buffer_.substr(0, lf);
                buffer_.erase(0, lf + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return "<timeout>";
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char chunk[65536];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                return "<closed>";
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    std::string Ask(const std::string& line) {
        Send(line + "\n");
        return ReadLine();
    }

    // Whether the server closes the connection within the limit (unread data is skipped).
    bool ClosedWithin(std::chrono::milliseconds limit) {
        for (;;) {
            const std::string l = ReadLine(limit);
            if (l == "<closed>")
                return true;
            if (l == "<timeout>")
                return false;
        }
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buffer_;
};

}  // namespace velquor::remote::testing

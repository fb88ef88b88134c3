#pragma once

#include <MQTTAsync.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velquor::testing {

// Debian's mosquitto, started by the test on a free loopback port with a
// configuration written into `dir`, stopped (and restartable on the same port).
class MosquittoBroker {
public:
    struct Config {
        bool anonymous = true;
        std::string password_file;                 // mosquitto_passwd format
        std::string ca_file, cert_file, key_file;  // a TLS listener when cert_file is set
        bool persistence = false;                  // sessions and queued messages survive a restart
    };

    MosquittoBroker(std::filesystem::path dir, Config config);
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // Starts it and waits (at most 10 s) until it accepts connections.
    bool Start(std::string& error);
    // SIGTERM (it saves its state), at most 5 s, then SIGKILL.
    void Stop();
    // SIGSTOP: connections stay open, nothing is read or answered. Resume: SIGCONT.
    void Pause();
    void Resume();
    int Port() const { return m_port; }

private:
    std::filesystem::path m_dir;
    Config m_config;
    int m_port = 0;
    pid_t m_pid = -1;
};

// A CA and a broker certificate for 127.0.0.1 and localhost signed by it, plus an
// unrelated CA, made with openssl in dir. False when openssl failed.
struct TestCertificates {
    std::string ca, server_cert, server_key, other_ca;
};
bool MakeTestCertificates(const std::filesystem::path& dir, TestCertificates& out);

// Writes a mosquitto password file for one user.
bool MakePasswordFile(const std::string& path, const std::string& user,
                      const std::string& password);

// A TCP relay on a free loopback port to the broker, so that a test can hold a
// connection's traffic and then cut it: what was held never arrives, like
// messages on the wire when a network goes down.
class TcpRelay {
public:
    explicit TcpRelay(int target_port);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    int Port() const { return m_port; }
    void Hold(bool hold);  // stop (or resume) passing data on
    void Cut();            // close every relayed connection; new ones are accepted

private:
    void Run();
    void Wake();

    int m_target;
    int m_port = 0;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_hold{false};
    std::atomic<bool> m_cut{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A subscriber on the library the publisher uses, reconnecting on its own; with
// a persistent session the broker keeps its messages while it is away.
class TestSubscriber {
public:
    struct Message {
        std::string topic;
        std::string payload;
        bool retained = false;
    };

    TestSubscriber(int port, std::string client_id, bool persistent, std::string filter);
    ~TestSubscriber();
    TestSubscriber(const TestSubscriber&) = delete;
    TestSubscriber& operator=(const TestSubscriber&) = delete;

    // Connects and subscribes; true when the subscription stands within timeout.
    bool Start(std::chrono::milliseconds timeout);
    // Waits until pred(messages) holds, at most timeout.
    bool WaitFor(const std::function<bool(const std::vector<Message>&)>& pred,
                 std::chrono::milliseconds timeout);
    std::vector<Message> Messages();

private:
    static void OnConnected(void* context, char* cause);
    static void OnSubscribed(void* context, MQTTAsync_successData* data);
    static int OnMessage(void* context, char* topic, int length, MQTTAsync_message* message);

    MQTTAsync m_client = nullptr;
    std::string m_filter;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Message> m_messages;
    bool m_subscribed = false;
    bool m_persistent = false;
};

}  // namespace velquor::testing

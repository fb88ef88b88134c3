#include "broker_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace velquor::testing {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

MosquittoBroker::MosquittoBroker(std::filesystem::path dir, Config config)
    : m_dir(std::move(dir)), m_config(std::move(config)) {}

MosquittoBroker::~MosquittoBroker() {
    Stop();
}

bool MosquittoBroker::Start(std::string& error) {
    const char* binary = "/usr/sbin/mosquitto";
    if (access(binary, X_OK) != 0) {
        error = "mosquitto is not installed (scripts/install-deps.sh installs it)";
        return false;
    }
    if (m_port == 0)
        m_port = FreeLoopbackPort();
    const std::string config = (m_dir / "mosquitto.conf").string();
    {
        std::ofstream out(config);
        out << "listener " << m_port << " 127.0.0.1\n"
            << "allow_anonymous " << (m_config.anonymous ? "true" : "false") << "\n"
            << "log_dest stderr\nlog_type error\nlog_type warning\n"
            << "max_queued_messages 100000\n";
        if (!m_config.password_file.empty())
            out << "password_file " << m_config.password_file << "\n";
        if (!m_config.cert_file.empty())
            out << "cafile " << m_config.ca_file << "\ncertfile " << m_config.cert_file
                << "\nkeyfile " << m_config.key_file << "\n";
        if (m_config.persistence)
            out << "persistence true\npersistence_location " << m_dir.string() << "/\n";
        // As root it would switch to the mosquitto user, which cannot read our files.
        if (geteuid() == 0)
            out << "user root\n";
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = (m_dir / "mosquitto.log").string();
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::string arg0 = "mosquitto", arg1 = "-c";
    std::string arg2 = config;
    char* argv[] = {arg0.data(), arg1.data(), arg2.data(), nullptr};
    const int rc = posix_spawn(&m_pid, binary, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        m_pid = -1;
        error = "cannot start mosquitto";
        return false;
    }
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            std::ifstream in(log);
            error = "mosquitto exited: " + std::string(std::istreambuf_iterator<char>(in),
                                                       std::istreambuf_iterator<char>());
            return false;
        }
        if (Accepts(m_port))
            return true;
        std::this_thread::sleep_for(20ms);
    }
    error = "mosquitto did not accept connections within 10 s";
    Stop();
    return false;
}

void MosquittoBroker::Pause() {
    if (m_pid > 0)
        kill(m_pid, SIGSTOP);
}

void MosquittoBroker::Resume() {
    if (m_pid > 0)
        kill(m_pid, SIGCONT);
}

void MosquittoBroker::Stop() {
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGCONT);  // a paused broker would not act on the SIGTERM
    kill(m_pid, SIGTERM);
    const auto deadline = Clock::now() + 5s;
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    m_pid = -1;
}

TcpRelay::TcpRelay(int target_port) : m_target(target_port) {
    m_listen = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        listen(m_listen, 4) == 0 &&
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        m_port = ntohs(a.sin_port);
    if (pipe(m_wake) != 0)
        m_wake[0] = m_wake[1] = -1;
    m_thread = std::thread([this] { Run(); });
}

TcpRelay::~TcpRelay() {
    m_stop = true;
    Wake();
    m_thread.join();
    close(m_listen);
    close(m_wake[0]);
    close(m_wake[1]);
}

void TcpRelay::Wake() {
    const char c = 0;
    if (write(m_wake[1], &c, 1) < 0) {
        // The relay thread polls with a short timeout anyway.
    }
}

void TcpRelay::Hold(bool hold) {
    m_hold = hold;
    Wake();
}

void TcpRelay::Cut() {
    m_cut = true;
    Wake();
    const auto deadline = Clock::now() + 5s;
    while (m_cut && Clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
}

void TcpRelay::Run() {
    std::vector<std::pair<int, int>> pairs;  // (from the client, to the broker)
    const auto closePair = [](std::pair<int, int>& p) {
        close(p.first);
        close(p.second);
        p = {-1, -1};
    };
    while (!m_stop) {
        std::vector<pollfd> fds{{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
        if (!m_hold) {
            for (const auto& p : pairs) {
                fds.push_back({p.first, POLLIN, 0});
                fds.push_back({p.second, POLLIN, 0});
            }
        }
        poll(fds.data(), fds.size(), 50);
        if (fds[0].revents & POLLIN) {
            char buffer[64];
            if (read(m_wake[0], buffer, sizeof buffer) < 0)
                continue;
        }
        if (m_cut) {
            for (auto& p : pairs)
                closePair(p);
            pairs.clear();
            m_cut = false;
            continue;
        }
        if (fds[1].revents & POLLIN) {
            const int client = accept(m_listen, nullptr, nullptr);
            const int upstream = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<std::uint16_t>(m_target));
            if (client >= 0 && connect(upstream, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                pairs.emplace_back(client, upstream);
            } else {
                close(client);
                close(upstream);
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            auto& p = pairs[(i - 2) / 2];
            if (p.first < 0)
                continue;
            const int from = fds[i].fd;
            const int to = from == p.first ? p.second : p.first;
            char buffer[65536];
            const ssize_t n = read(from, buffer, sizeof buffer);
            if (n <= 0 || write(to, buffer, static_cast<std::size_t>(n)) != n)
                closePair(p);
        }
        pairs.erase(
            std::remove_if(pairs.begin(), pairs.end(), [](const auto& p) { return p.first < 0; }),
            pairs.end());
    }
    for (auto& p : pairs)
        closePair(p);
}

bool MakeTestCertificates(const std::filesystem::path& dir, TestCertificates& out) {
    const auto file = [&](const char* name) { return Quote((dir / name).string()); };
    out.ca = (dir / "ca.crt").string();
    out.server_cert = (dir / "server.crt").string();
    out.server_key = (dir / "server.key").string();
    out.other_ca = (dir / "other-ca.crt").string();
    const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    {
        std::ofstream ext(dir / "san.ext");
        ext << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
    }
    return Run("openssl req -x509 " + ec + "-days 2 -subj /CN=velquor-test-ca -keyout " +
               file("ca.key") + " -out " + file("ca.crt")) &&
           Run("openssl req -x509 " + ec + "-days 2 -subj /CN=velquor-other-ca -keyout " +
               file("other-ca.key") + " -out " + file("other-ca.crt")) &&
           Run("openssl req " + ec + "-subj /CN=localhost -keyout " + file("server.key") +
               " -out " + file("server.csr")) &&
           Run("openssl x509 -req -days 2 -in " + file("server.csr") + " -CA " + file("ca.crt") +
               " -CAkey " + file("ca.key") + " -CAcreateserial -extfile " + file("san.ext") +
               " -out " + file("server.crt"));
}

bool MakePasswordFile(const std::string& path, const std::string& user,
                      const std::string& password) {
    return Run("mosquitto_passwd -c -b " + Quote(path) + " " + Quote(user) + " " + Quote(password));
}

TestSubscriber::TestSubscriber(int port, std::string client_id, bool persistent, std::string filter)
    : m_filter(std::move(filter)) {
    const std::string uri = "tcp://127.0.0.1:" + std::to_string(port);
    MQTTAsync_create(&m_client, uri.c_str(), client_id.c_str(), MQTTCLIENT_PERSISTENCE_NONE,
                     nullptr);
    MQTTAsync_setCallbacks(m_client, this, nullptr, &TestSubscriber::OnMessage, nullptr);
    MQTTAsync_setConnected(m_client, this, &TestSubscriber::OnConnected);
    m_persistent = persistent;
}

TestSubscriber::~TestSubscriber() {
    MQTTAsync_disconnectOptions options = MQTTAsync_disconnectOptions_initializer;
    options.timeout = 500;
    MQTTAsync_disconnect(m_client, &options);
    MQTTAsync_destroy(&m_client);
}

bool TestSubscriber::Start(std::chrono::milliseconds timeout) {
    MQTTAsync_connectOptions options = MQTTAsync_connectOptions_initializer;
    options.cleansession = m_persistent ? 0 : 1;
    options.keepAliveInterval = 10;
    options.MQTTVersion = MQTTVERSION_3_1_1;
    options.automaticReconnect = 1;
    options.minRetryInterval = 1;
    options.maxRetryInterval = 1;
    if (MQTTAsync_connect(m_client, &options) != MQTTASYNC_SUCCESS)
        return false;
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_subscribed; });
}

// After every (re)connect: with a persistent session the subscription is kept
// anyway, and subscribing again is harmless.
void TestSubscriber::OnConnected(void* context, char*) {
    auto* self = static_cast<TestSubscriber*>(context);
    MQTTAsync_responseOptions response = MQTTAsync_responseOptions_initializer;
    response.onSuccess = &TestSubscriber::OnSubscribed;
    response.context = self;
    MQTTAsync_subscribe(self->m_client, self->m_filter.c_str(), 1, &response);
}

void TestSubscriber::OnSubscribed(void* context, MQTTAsync_successData*) {
    auto* self = static_cast<TestSubscriber*>(context);
    {
        std::lock_guard lock(self->m_mutex);
        self->m_subscribed = true;
    }
    self->m_changed.notify_all();
}

int TestSubscriber::OnMessage(void* context, char* topic, int length, MQTTAsync_message* message) {
    auto* self = static_cast<TestSubscriber*>(context);
    Message m;
    m.topic =
        length > 0 ? std::string(topic, static_cast<std::size_t>(length)) : std::string(topic);
    m.payload.assign(static_cast<const char*>(message->payload),
                     static_cast<std::size_t>(message->payloadlen));
    m.retained = message->retained != 0;
    MQTTAsync_freeMessage(&message);
    MQTTAsync_free(topic);
    {
        std::lock_guard lock(self->m_mutex);
        self->m_messages.push_back(std::move(m));
    }
    self->m_changed.notify_all();
    return 1;
}

bool TestSubscriber::WaitFor(const std::function<bool(const std::vector<Message>&)>& pred,
                             std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return pred(m_messages); });
}

std::vector<TestSubscriber::Message> TestSubscriber::Messages() {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

}  // namespace velquor::testing

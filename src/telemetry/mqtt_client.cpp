#include "telemetry/mqtt_client.h"

#include <MQTTAsync.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

#include "telemetry/peer_socket.h"

namespace velquor::telemetry {

// One MQTTAsync client and the contexts its callbacks receive. The library calls
// back on its own threads while holding its own lock, so the callbacks take only
// the owner's mutex, and the owner never calls into the library holding it.
class MqttClient::Connection {
public:
    struct Slot {
        Connection* connection = nullptr;
        bool busy = false;
        std::uint64_t tag = 0;
    };

    Connection(MqttClient& owner, std::uint64_t id) : owner(owner), id(id) {
        for (auto& slot : slots)
            slot.connection = this;
    }
    // After MQTTAsync_destroy returns no callback can reach this object any more.
    ~Connection() {
        if (handle != nullptr)
            MQTTAsync_destroy(&handle);
    }

    MqttClient& owner;
    const std::uint64_t id;
    MQTTAsync handle = nullptr;
    // This process's sockets to the broker's port before the attempt.
    std::vector<std::uint64_t> otherSockets;
    // Guarded by owner.m_mutex:
    std::array<Slot, kWindow> slots;
    bool connected = false;
    std::uint64_t socketInode = 0;  // 0: not known
    std::string tlsError;

    void Event(ClientEvent::Kind kind, int code = 0, std::string message = {},
               std::uint64_t tag = 0) {
        ClientEvent e;
        e.kind = kind;
        e.connection = id;
        e.tag = tag;
        e.code = code;
        e.message = std::move(message);
        owner.Post(std::move(e));
    }

    static Connection& From(void* context) { return *static_cast<Connection*>(context); }

    static void OnConnected(void* context, MQTTAsync_successData*) {
        auto& c = From(context);
        // The one new socket to the port is this connection's; two new ones (another
        // client of this process connected meanwhile) leave it unknown.
        std::vector<std::uint64_t> fresh = SocketsToPort(c.owner.m_port);
        std::erase_if(fresh, [&c](std::uint64_t inode) {
            return std::find(c.otherSockets.begin(), c.otherSockets.end(), inode) !=
                   c.otherSockets.end();
        });
        {
            std::lock_guard lock(c.owner.m_mutex);
            c.connected = true;
            c.socketInode = fresh.size() == 1 ? fresh.front() : 0;
        }
        c.Event(ClientEvent::Kind::Connected);
    }

    static void OnConnectFailed(void* context, MQTTAsync_failureData* data) {
        auto& c = From(context);
        std::string message = data != nullptr && data->message != nullptr ? data->message : "";
        {
            std::lock_guard lock(c.owner.m_mutex);
            c.connected = false;
            if (!c.tlsError.empty())
                message = c.tlsError;
        }
        c.Event(ClientEvent::Kind::ConnectFailed, data != nullptr ? data->code : -1,
                std::move(message));
    }

    static void OnConnectionLost(void* context, char* cause) {
        auto& c = From(context);
        {
            std::lock_guard lock(c.owner.m_mutex);
            c.connected = false;
        }
        c.Event(ClientEvent::Kind::ConnectionLost, 0, cause != nullptr ? cause : "");
    }

    static int OnMessageArrived(void*, char* topic, int, MQTTAsync_message* message) {
        MQTTAsync_freeMessage(&message);
        MQTTAsync_free(topic);
        return 1;
    }

    static void Finished(void* context, bool delivered, int code) {
        auto* slot = static_cast<Slot*>(context);
        Connection& c = *slot->connection;
        std::uint64_t tag = 0;
        {
            std::lock_guard lock(c.owner.m_mutex);
            tag = slot->tag;
            slot->busy = false;
        }
        c.Event(delivered ? ClientEvent::Kind::Delivered : ClientEvent::Kind::NotDelivered, code,
                {}, tag);
    }
    static void OnDelivered(void* context, MQTTAsync_successData*) { Finished(context, true, 0); }
    static void OnNotDelivered(void* context, MQTTAsync_failureData* data) {
        Finished(context, false, data != nullptr ? data->code : -1);
    }

    static void OnDisconnected(void* context, MQTTAsync_successData*) {
        From(context).Event(ClientEvent::Kind::Disconnected);
    }
    static void OnDisconnectFailed(void* context, MQTTAsync_failureData* data) {
        From(context).Event(ClientEvent::Kind::Disconnected, data != nullptr ? data->code : -1);
    }

    // OpenSSL's error queue, line by line; the last line names the cause.
    static int OnTlsError(const char* text, std::size_t length, void* context) {
        auto& c = From(context);
        std::string line(text, length);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        std::lock_guard lock(c.owner.m_mutex);
        c.tlsError = line;
        return 1;
    }
};

namespace {

// The port of tcp://host:port or ssl://[v6]:port; 0 when there is none.
int PortOfUri(const std::string& uri) {
    const std::size_t colon = uri.rfind(':');
    if (colon == std::string::npos || colon + 1 >= uri.size())
        return 0;
    char* end = nullptr;
    const long port = std::strtol(uri.c_str() + colon + 1, &end, 10);
    return *end == '\0' && port > 0 && port < 65536 ? static_cast<int>(port) : 0;
}

}  // namespace

MqttClient::MqttClient(ConnectSettings settings)
    : m_settings(std::move(settings)), m_port(PortOfUri(m_settings.server_uri)) {}

MqttClient::~MqttClient() {
    Drop();
}

std::unique_ptr<MqttClient::Connection> MqttClient::Release() {
    return std::move(m_connection);
}

bool MqttClient::StartConnect(std::string& error) {
    auto next = std::make_unique<Connection>(*this, m_nextConnection++);
    MQTTAsync_createOptions create = MQTTAsync_createOptions_initializer;
    create.sendWhileDisconnected = 0;
    create.maxBufferedMessages = static_cast<int>(kWindow) + 8;
    create.MQTTVersion = MQTTVERSION_3_1_1;
    int rc = MQTTAsync_createWithOptions(&next->handle, m_settings.server_uri.c_str(),
                                         m_settings.client_id.c_str(), MQTTCLIENT_PERSISTENCE_NONE,
                                         nullptr, &create);
    if (rc != MQTTASYNC_SUCCESS) {
        next->handle = nullptr;
        error = "cannot use the broker address " + m_settings.server_uri + ": " +
                MQTTAsync_strerror(rc);
        return false;
    }
    MQTTAsync_setCallbacks(next->handle, next.get(), &Connection::OnConnectionLost,
                           &Connection::OnMessageArrived, nullptr);
    // The old client goes after the new one exists: destroying the library's last
    // client also stops its threads, which takes up to a second.
    std::unique_ptr<Connection> old = std::exchange(m_connection, std::move(next));
    old.reset();
    m_connection->otherSockets = SocketsToPort(m_port);

    MQTTAsync_willOptions will = MQTTAsync_willOptions_initializer;
    MQTTAsync_SSLOptions ssl = MQTTAsync_SSLOptions_initializer;
    MQTTAsync_connectOptions options = MQTTAsync_connectOptions_initializer;
    options.keepAliveInterval = static_cast<int>(m_settings.keep_alive.count());
    options.cleansession = 1;
    options.maxInflight = static_cast<int>(kWindow);
    options.connectTimeout = static_cast<int>(m_settings.connect_timeout.count());
    options.retryInterval = 0;
    options.MQTTVersion = MQTTVERSION_3_1_1;
    options.automaticReconnect = 0;
    options.onSuccess = &Connection::OnConnected;
    options.onFailure = &Connection::OnConnectFailed;
    options.context = m_connection.get();
    if (!m_settings.username.empty())
        options.username = m_settings.username.c_str();
    if (!m_settings.password.empty())
        options.password = m_settings.password.c_str();
    if (!m_settings.will_topic.empty()) {
        will.topicName = m_settings.will_topic.c_str();
        will.message = m_settings.will_payload.c_str();
        will.retained = 1;
        will.qos = 1;
        options.will = &will;
    }
    if (m_settings.tls) {
        ssl.trustStore = m_settings.tls->ca_file.c_str();
        if (!m_settings.tls->cert_file.empty())
            ssl.keyStore = m_settings.tls->cert_file.c_str();
        if (!m_settings.tls->key_file.empty())
            ssl.privateKey = m_settings.tls->key_file.c_str();
        ssl.enableServerCertAuth = 1;
        ssl.verify = 1;                    // the certificate must also name the host we connect to
        ssl.disableDefaultTrustStore = 1;  // only the CA the user gave
        ssl.ssl_error_cb = &Connection::OnTlsError;
        ssl.ssl_error_context = m_connection.get();
        options.ssl = &ssl;
    }
    rc = MQTTAsync_connect(m_connection->handle, &options);
    if (rc != MQTTASYNC_SUCCESS) {
        error = "cannot connect to " + m_settings.server_uri + ": " + MQTTAsync_strerror(rc);
        return false;
    }
    return true;
}

std::uint64_t MqttClient::CurrentConnection() const {
    return m_connection ? m_connection->id : 0;
}

bool MqttClient::Publish(std::string_view topic, std::string_view payload, int qos, bool retained,
                         std::uint64_t tag, std::size_t keep_free) {
    Connection* c = m_connection.get();
    if (c == nullptr || c->handle == nullptr)
        return false;
    Connection::Slot* slot = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (!c->connected)
            return false;
        std::size_t free = 0;
        for (auto& s : c->slots) {
            if (!s.busy) {
                slot = slot != nullptr ? slot : &s;
                ++free;
            }
        }
        if (slot == nullptr || free <= keep_free)
            return false;
        slot->busy = true;
        slot->tag = tag;
    }
    const std::string topicText(topic);
    MQTTAsync_message message = MQTTAsync_message_initializer;
    message.payload = const_cast<char*>(payload.data());
    message.payloadlen = static_cast<int>(payload.size());
    message.qos = qos;
    message.retained = retained ? 1 : 0;
    MQTTAsync_responseOptions response = MQTTAsync_responseOptions_initializer;
    response.onSuccess = &Connection::OnDelivered;
    response.onFailure = &Connection::OnNotDelivered;
    response.context = slot;
    if (MQTTAsync_sendMessage(c->handle, topicText.c_str(), &message, &response) !=
        MQTTASYNC_SUCCESS) {
        std::lock_guard lock(m_mutex);
        slot->busy = false;
        return false;
    }
    return true;
}

std::size_t MqttClient::FreeSlots() const {
    const Connection* c = m_connection.get();
    if (c == nullptr)
        return 0;
    std::lock_guard lock(m_mutex);
    std::size_t free = 0;
    for (const auto& s : c->slots)
        free += s.busy ? 0 : 1;
    return free;
}

void MqttClient::Post(ClientEvent event) {
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    m_eventArrived.notify_all();
}

void MqttClient::TakeEvents(std::vector<ClientEvent>& out) {
    std::lock_guard lock(m_mutex);
    for (auto& e : m_events)
        out.push_back(std::move(e));
    m_events.clear();
}

bool MqttClient::WaitForEvent(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_eventArrived.wait_for(lock, timeout, [this] { return !m_events.empty(); });
}

void MqttClient::Disconnect(std::chrono::milliseconds timeout) {
    Connection* c = m_connection.get();
    if (c == nullptr || c->handle == nullptr)
        return;
    MQTTAsync_disconnectOptions options = MQTTAsync_disconnectOptions_initializer;
    options.timeout = static_cast<int>(timeout.count());
    options.onSuccess = &Connection::OnDisconnected;
    options.onFailure = &Connection::OnDisconnectFailed;
    options.context = c;
    if (MQTTAsync_disconnect(c->handle, &options) == MQTTASYNC_SUCCESS) {
        const auto done = [&] {
            for (const auto& e : m_events) {
                if (e.kind == ClientEvent::Kind::Disconnected && e.connection == c->id)
                    return true;
            }
            return false;
        };
        std::unique_lock lock(m_mutex);
        // The library's own bound and a little more. Cut short, nothing is lost: the
        // library still ends a connection it thinks is up with a DISCONNECT.
        m_eventArrived.wait_for(lock, timeout + std::chrono::milliseconds(100), done);
    }
    Release().reset();
}

bool MqttClient::Drop() {
    bool cut = true;
    if (const Connection* c = m_connection.get()) {
        bool connected = false;
        std::uint64_t inode = 0;
        {
            std::lock_guard lock(m_mutex);
            connected = c->connected;
            inode = c->socketInode;
        }
        if (connected)
            cut = inode != 0 && ShutDownSocket(inode);
    }
    Release().reset();
    return cut;
}

}  // namespace velquor::telemetry

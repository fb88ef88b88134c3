#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::telemetry {

struct TlsFiles {
    std::string ca_file;    // the broker's certificate must chain to this CA
    std::string cert_file;  // client certificate (optional)
    std::string key_file;   // its private key (optional)
};

struct ConnectSettings {
    std::string server_uri;  // tcp://host:port or ssl://host:port
    std::string client_id;
    std::string username;  // empty: none
    std::string password;  // empty: none
    std::optional<TlsFiles> tls;
    std::string will_topic;  // empty: no Last Will
    std::string will_payload;
    std::chrono::seconds keep_alive{10};
    std::chrono::seconds connect_timeout{10};
};

// What happened on the connection, reported from the library's threads and
// collected here until the owner takes them.
struct ClientEvent {
    enum class Kind : std::uint8_t {
        Connected,
        ConnectFailed,  // code: the broker's CONNACK refusal (1..5) or the library's (< 0)
        ConnectionLost,
        Delivered,     // tag: the publish's tag; QoS 1 acknowledged, QoS 0 written
        NotDelivered,  // tag: the publish's tag
        Disconnected,  // a clean DISCONNECT finished
    };
    Kind kind = Kind::Connected;
    std::uint64_t connection = 0;  // which connection attempt it belongs to
    std::uint64_t tag = 0;
    int code = 0;
    std::string message;
};

// A thin shell around one Eclipse Paho MQTTAsync client per connection attempt:
// no automatic reconnect and no offline queue inside the library, so that the
// owner decides what is sent again, in which order, and what is given up. Every
// attempt gets a fresh client, so nothing queued on a dead connection can go out
// ahead of the owner's resends. Publishing is bounded by a window of kWindow
// messages awaiting the broker's answer. Thread-safe for one owner thread; the
// library's threads only append events.
class MqttClient {
public:
    static constexpr std::size_t kWindow = 64;

    explicit MqttClient(ConnectSettings settings);
    // A live connection ends as with Drop(): the broker publishes the will.
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Starts a new connection attempt (the previous connection, if any, is dropped).
    // The result arrives as a Connected or ConnectFailed event. False with a reason
    // when the attempt cannot even start (a bad URI, an unreadable file).
    bool StartConnect(std::string& error);
    std::uint64_t CurrentConnection() const;

    // Hands one message to the library. False when not connected or when it would leave
    // fewer than keep_free places of the window free (kept for messages that matter more).
    bool Publish(std::string_view topic, std::string_view payload, int qos, bool retained,
                 std::uint64_t tag, std::size_t keep_free = 0);
    std::size_t FreeSlots() const;

    // Moves the events collected so far into out (appended in the order they happened).
    void TakeEvents(std::vector<ClientEvent>& out);
    // Waits until an event is pending, at most timeout. True when one is.
    bool WaitForEvent(std::chrono::milliseconds timeout);

    // A clean DISCONNECT (the broker discards the will) after at most timeout for
    // the messages on the wire; then the connection is released.
    void Disconnect(std::chrono::milliseconds timeout);
    // Ends the connection without a DISCONNECT, so the broker publishes the will.
    // False when a live connection could not be told from another one of this process
    // to the same port; the library then ends it with a DISCONNECT.
    bool Drop();

private:
    class Connection;
    friend class Connection;

    void Post(ClientEvent event);
    std::unique_ptr<Connection> Release();

    const ConnectSettings m_settings;
    const int m_port;  // of the server URI, to find the connection's socket
    mutable std::mutex m_mutex;
    std::condition_variable m_eventArrived;
    std::vector<ClientEvent> m_events;
    std::unique_ptr<Connection> m_connection;  // replaced only by the owner thread
    std::uint64_t m_nextConnection = 1;
};

}  // namespace velquor::telemetry

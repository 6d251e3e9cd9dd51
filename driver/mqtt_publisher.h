#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "driver/mqtt_target.h"

struct mosquitto;

// Publishes the run's event lines to PREFIX/events and snapshot pictures to
// PREFIX/snapshot (QoS 1, not retained), and online/offline to PREFIX/available
// (retained, offline is the last will).
// Its own network thread does all the talking: publish() only queues, so the
// frame loop never waits for a broker that is slow, down or gone.
class MqttPublisher {
public:
    // At most queue_limit messages and byte_limit bytes of payload wait while the broker is away.
    explicit MqttPublisher(size_t queue_limit = 1000, size_t byte_limit = 64 * 1024 * 1024);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher &) = delete;
    MqttPublisher &operator=(const MqttPublisher &) = delete;

    // Starts connecting in the background. Returns "" or why it cannot even
    // try (bad options, unreadable CA file); an unreachable broker is not an
    // error here, it is reported on stderr and retried.
    std::string start(const MqttTarget &target);

    // Queues one message; beyond either limit the oldest waiting ones are dropped.
    void publish_event(std::string json) { enqueue("events", std::move(json)); }
    void publish_snapshot(std::string jpeg) { enqueue("snapshot", std::move(jpeg)); }

    // Sends offline, waits up to timeout_ms for the queue to drain, disconnects.
    // Returns how many messages were dropped or left unsent over the run.
    int64_t stop(int timeout_ms = 3000);

    int64_t dropped() const;
    // Whether the broker is connected, as the network thread last saw it.
    bool connected() const;

private:
    struct Message {
        std::string topic;
        std::string payload;
        int qos;
        bool retain;
    };
    void enqueue(const char *suffix, std::string payload);
    void send_waiting();  // under mutex_, when connected
    static void on_connect(mosquitto *m, void *self, int rc);
    static void on_disconnect(mosquitto *m, void *self, int rc);
    static void on_publish(mosquitto *m, void *self, int mid);
    static void on_log(mosquitto *m, void *self, int level, const char *text);
    void report_tls_failure();  // once per run

    size_t limit_;
    size_t byte_limit_;
    size_t waiting_bytes_ = 0;
    MqttTarget target_;
    mosquitto *client_ = nullptr;
    mutable std::mutex mutex_;
    std::deque<Message> waiting_;  // not yet handed to the library
    int in_flight_ = 0;            // handed over, not yet acknowledged
    bool connected_ = false;
    bool reported_down_ = false;
    std::atomic<bool> tls_failure_reported_{false};
    int64_t dropped_ = 0;
};

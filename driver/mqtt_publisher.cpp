#include "driver/mqtt_publisher.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include <mosquitto.h>

namespace {

std::once_flag library_once;

} // namespace

MqttPublisher::MqttPublisher(size_t queue_limit, size_t byte_limit)
    : limit_(queue_limit == 0 ? 1 : queue_limit), byte_limit_(byte_limit)
{
    std::call_once(library_once, [] { mosquitto_lib_init(); });
}

MqttPublisher::~MqttPublisher()
{
    if (client_ != nullptr)
        stop(0);
}

std::string MqttPublisher::start(const MqttTarget &target)
{
    target_ = target;
    client_ = mosquitto_new(nullptr, true, this);
    if (client_ == nullptr)
        return "MQTT: cannot create a client";
    // A start that fails leaves no client, so stop() has nothing to wait for.
    const auto give_up = [this](const std::string &why) {
        mosquitto_destroy(client_);
        client_ = nullptr;
        return why;
    };
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    const std::string available = target.prefix + "/available";
    mosquitto_will_set(client_, available.c_str(), 7, "offline", 1, true);
    if (!target.user.empty() &&
        mosquitto_username_pw_set(client_, target.user.c_str(), target.password.c_str()) != MOSQ_ERR_SUCCESS)
        return give_up("MQTT: cannot set the user name");
    if (target.tls) {
        const char *cafile = target.cafile.empty() ? nullptr : target.cafile.c_str();
        const char *capath = target.cafile.empty() ? "/etc/ssl/certs" : nullptr;
        if (mosquitto_tls_set(client_, cafile, capath, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS)
            return give_up("MQTT: cannot use the CA file " + target.cafile);
    }
    mosquitto_connect_callback_set(client_, on_connect);
    mosquitto_disconnect_callback_set(client_, on_disconnect);
    mosquitto_publish_callback_set(client_, on_publish);
    // A failed TLS handshake on the network thread reaches no other callback; the library's log tells.
    mosquitto_log_callback_set(client_, on_log);
    // Retry 1, 2, 4 ... 30 s apart while the broker is away.
    mosquitto_reconnect_delay_set(client_, 1, 30, true);
    const int rc = mosquitto_connect_async(client_, target.host.c_str(), target.port, 30);
    if (rc == MOSQ_ERR_TLS) {
        report_tls_failure();
    } else if (rc != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "qv_demo: MQTT broker %s:%d not reachable (%s); events wait and are retried\n",
                     target.host.c_str(), target.port, mosquitto_strerror(rc));
        reported_down_ = true;
    }
    if (mosquitto_loop_start(client_) != MOSQ_ERR_SUCCESS)
        return give_up("MQTT: cannot start the network thread");
    return {};
}

void MqttPublisher::enqueue(const char *suffix, std::string payload)
{
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_bytes_ += payload.size();
    waiting_.push_back({target_.prefix + "/" + suffix, std::move(payload), 1, false});
    // Pictures are large: the queue is bounded by bytes as well as by count.
    while (!waiting_.empty() && (waiting_.size() > limit_ || waiting_bytes_ > byte_limit_)) {
        waiting_bytes_ -= waiting_.front().payload.size();
        waiting_.pop_front();
        ++dropped_;
    }
    if (connected_)
        send_waiting();
}

void MqttPublisher::send_waiting()
{
    // Few in flight at a time, so a broker going away leaves the rest here, in order.
    while (!waiting_.empty() && in_flight_ < 20) {
        const Message &m = waiting_.front();
        const int rc = mosquitto_publish(client_, nullptr, m.topic.c_str(), static_cast<int>(m.payload.size()),
                                         m.payload.data(), m.qos, m.retain);
        if (rc != MOSQ_ERR_SUCCESS)
            return;
        ++in_flight_;
        waiting_bytes_ -= m.payload.size();
        waiting_.pop_front();
    }
}

void MqttPublisher::on_connect(mosquitto *m, void *self_ptr, int rc)
{
    auto *self = static_cast<MqttPublisher *>(self_ptr);
    std::lock_guard<std::mutex> lock(self->mutex_);
    if (rc != 0) {
        std::fprintf(stderr, "qv_demo: MQTT broker %s:%d refused the connection: %s\n", self->target_.host.c_str(),
                     self->target_.port, mosquitto_connack_string(rc));
        self->reported_down_ = true;
        return;
    }
    if (self->reported_down_)
        std::fprintf(stderr, "qv_demo: MQTT broker %s:%d connected\n", self->target_.host.c_str(),
                     self->target_.port);
    self->reported_down_ = false;
    self->connected_ = true;
    self->in_flight_ = 0;  // the session is clean: what was in flight is gone or redelivered by the library
    const std::string available = self->target_.prefix + "/available";
    // Counted like any other message, so a stop waits for its acknowledgement too.
    if (mosquitto_publish(m, nullptr, available.c_str(), 6, "online", 1, true) == MOSQ_ERR_SUCCESS)
        ++self->in_flight_;
    self->send_waiting();
}

void MqttPublisher::report_tls_failure()
{
    if (tls_failure_reported_.exchange(true))
        return;
    std::fprintf(stderr,
                 "qv_demo: MQTT broker %s:%d: TLS handshake failed (is its certificate signed by the CA given with "
                 "--mqtt-cafile, and made out to %s?); events wait and are retried\n",
                 target_.host.c_str(), target_.port, target_.host.c_str());
}

void MqttPublisher::on_log(mosquitto *, void *self_ptr, int level, const char *text)
{
    if ((level & MOSQ_LOG_ERR) == 0 || text == nullptr || std::strstr(text, "OpenSSL") == nullptr)
        return;
    // No lock: the library may log from inside a call made under mutex_.
    static_cast<MqttPublisher *>(self_ptr)->report_tls_failure();
}

void MqttPublisher::on_disconnect(mosquitto *, void *self_ptr, int rc)
{
    auto *self = static_cast<MqttPublisher *>(self_ptr);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->connected_ = false;
    if (rc != 0 && !self->reported_down_) {
        std::fprintf(stderr, "qv_demo: MQTT broker %s:%d lost; events wait and are retried\n",
                     self->target_.host.c_str(), self->target_.port);
        self->reported_down_ = true;
    }
}

void MqttPublisher::on_publish(mosquitto *, void *self_ptr, int)
{
    auto *self = static_cast<MqttPublisher *>(self_ptr);
    std::lock_guard<std::mutex> lock(self->mutex_);
    if (self->in_flight_ > 0)
        --self->in_flight_;
    if (self->connected_)
        self->send_waiting();
}

int64_t MqttPublisher::stop(int timeout_ms)
{
    if (client_ == nullptr)
        return dropped();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    const std::string available = target_.prefix + "/available";
    bool offline_sent = false;
    while (true) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (connected_ && waiting_.empty() && !offline_sent) {
                if (mosquitto_publish(client_, nullptr, available.c_str(), 7, "offline", 1, true) == MOSQ_ERR_SUCCESS)
                    ++in_flight_;
                offline_sent = true;
            }
            if (offline_sent && in_flight_ == 0)
                break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // An orderly goodbye: the broker must see DISCONNECT before the socket closes, or it publishes the
    // last will on top of our own "offline". The network thread sends it; wait until it has.
    mosquitto_disconnect(client_);
    const auto goodbye_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < goodbye_deadline) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!connected_)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
    client_ = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    dropped_ += static_cast<int64_t>(waiting_.size());
    waiting_.clear();
    waiting_bytes_ = 0;
    return dropped_;
}

bool MqttPublisher::connected() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return connected_;
}

int64_t MqttPublisher::dropped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

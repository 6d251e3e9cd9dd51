#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <mosquitto.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/mqtt_publisher.h"
#include "tests/robustness/demo_runner.h"
#include "tests/support/clips.h"
#include "tests/support/stalling_camera.h"

namespace {

// The broker scripts/test starts on 127.0.0.1; without it these tests skip.
int broker_port()
{
    const char *port = std::getenv("QV_MQTT_PORT");
    return port == nullptr ? 0 : std::atoi(port);
}

#define NEED_BROKER()                                                        \
    if (broker_port() == 0)                                                  \
        GTEST_SKIP() << "no test broker (QV_MQTT_PORT unset; scripts/test starts one)";

// Subscribes to PREFIX/# and keeps every message, in arrival order. With a client id its
// session is persistent (the broker keeps the subscription and what comes while it is away)
// and it reconnects every second, so it rides out a broker restart.
class Listener {
public:
    explicit Listener(const std::string &prefix, int port = broker_port(), const std::string &client_id = "")
    {
        mosquitto_lib_init();
        client_ = mosquitto_new(client_id.empty() ? nullptr : client_id.c_str(), client_id.empty(), this);
        mosquitto_reconnect_delay_set(client_, 1, 1, false);
        mosquitto_message_callback_set(client_, [](mosquitto *, void *self, const mosquitto_message *m) {
            auto *me = static_cast<Listener *>(self);
            std::lock_guard<std::mutex> lock(me->mutex_);
            me->messages_.push_back({m->topic, std::string(static_cast<const char *>(m->payload), m->payloadlen)});
        });
        EXPECT_EQ(mosquitto_connect(client_, "127.0.0.1", port, 30), MOSQ_ERR_SUCCESS);
        const std::string topic = prefix + "/#";
        mosquitto_subscribe(client_, nullptr, topic.c_str(), 1);
        mosquitto_loop_start(client_);
    }
    ~Listener()
    {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, true);
        mosquitto_destroy(client_);
    }
    std::vector<std::string> on(const std::string &topic)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> out;
        for (const auto &m : messages_)
            if (m.first == topic)
                out.push_back(m.second);
        return out;
    }
    // Waits up to timeout_s for count messages on topic.
    std::vector<std::string> wait_for(const std::string &topic, size_t count, int timeout_s = 10)
    {
        for (int i = 0; i < timeout_s * 20 && on(topic).size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return on(topic);
    }

private:
    mosquitto *client_;
    std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> messages_;
};

std::string unique_prefix(const std::string &name)
{
    // Retained messages outlive a test: every run gets topics of its own.
    static int serial = 0;
    return "qvtest/" + name + "/" + std::to_string(getpid()) + "-" + std::to_string(++serial) + "-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

MqttTarget local_target(const std::string &prefix)
{
    MqttTarget target;
    EXPECT_EQ(parse_mqtt_url("mqtt://127.0.0.1:" + std::to_string(broker_port()) + "/" + prefix, target), "");
    return target;
}

// A free port on 127.0.0.1: bind, read, release.
int free_port()
{
    const ChildResult probe = run_child(
        {"/usr/bin/python3", "-c", "import socket; s=socket.socket(); s.bind(('127.0.0.1',0)); print(s.getsockname()[1])"},
        10);
    return std::atoi(probe.out.c_str());
}

// A broker of the test's own on a free port, which it can stop and start again on that port.
// With keep_state it saves its sessions and queued messages (in dir) when stopped and
// reads them back when started, as a broker with persistence does across a restart.
class OwnBroker {
public:
    explicit OwnBroker(const TempDir &dir, bool keep_state = false) : conf_(dir.file("broker.conf"))
    {
        port_ = free_port();
        // A broker started as root runs as user mosquitto: what it reads or writes must be open to it.
        chmod(dir.path().c_str(), 0755);
        std::ofstream conf(conf_);
        conf << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n";
        if (!keep_state) {
            conf << "persistence false\n";
            return;
        }
        const std::string state = dir.file("state");
        mkdir(state.c_str(), 0777);
        chmod(state.c_str(), 0777);
        conf << "persistence true\npersistence_location " << state << "/\nmax_queued_messages 0\n";
    }
    ~OwnBroker() { stop(); }
    int port() const { return port_; }

    // Adds a TLS listener with this certificate and key (call before start). Returns its port.
    int add_tls_listener(const std::string &cert, const std::string &key)
    {
        const int port = free_port();
        chmod(key.c_str(), 0644);
        std::ofstream(conf_, std::ios::app) << "listener " << port << " 127.0.0.1\ncertfile " << cert
                                            << "\nkeyfile " << key << "\n";
        return port;
    }
    void start()
    {
        pid_ = fork();
        if (pid_ == 0) {
            freopen("/dev/null", "w", stderr);
            execlp("mosquitto", "mosquitto", "-c", conf_.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    void stop()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

private:
    std::string conf_;
    int port_ = 0;
    pid_t pid_ = 0;
};

} // namespace

TEST(MqttUrl, TakesHostPortPrefixAndRejectsTheRest)
{
    MqttTarget t;
    EXPECT_EQ(parse_mqtt_url("mqtt://cam-hub/site/gate", t), "");
    EXPECT_EQ(t.host, "cam-hub");
    EXPECT_EQ(t.port, 1883);
    EXPECT_EQ(t.prefix, "site/gate");
    EXPECT_EQ(parse_mqtt_url("mqtts://10.0.0.2:8884/gate/", t), "");
    EXPECT_TRUE(t.tls);
    EXPECT_EQ(t.port, 8884);
    EXPECT_EQ(t.prefix, "gate");
    for (const char *bad : {"http://h/p", "mqtt://h", "mqtt://h/", "mqtt://:1883/p", "mqtt://h:0/p", "mqtt://h:99999/p",
                            "mqtt://h:x/p", "mqtt://h/a/#"})
        EXPECT_NE(parse_mqtt_url(bad, t), "") << bad;
}

// Many events, published faster than any network: all arrive, in order, byte for byte,
// and the availability topic ends retained "offline" after an orderly stop.
TEST(MqttBroker, EventsArriveInOrderAndAvailabilityIsRetained)
{
    NEED_BROKER();
    const std::string prefix = unique_prefix("order");
    Listener listener(prefix);
    MqttPublisher publisher(5000);
    ASSERT_EQ(publisher.start(local_target(prefix)), "");
    std::vector<std::string> sent;
    for (int k = 0; k < 300; ++k) {
        sent.push_back("{\"frame\": " + std::to_string(k) + ", \"event\": \"line \\u00e9\"}");
        publisher.publish_event(sent.back());
    }
    EXPECT_EQ(publisher.stop(), 0);
    EXPECT_EQ(listener.wait_for(prefix + "/events", sent.size()), sent);
    // A late subscriber sees the retained state.
    Listener late(prefix);
    EXPECT_EQ(late.wait_for(prefix + "/available", 1), std::vector<std::string>{"offline"});
}

// No broker at that port: publishing never blocks, the queue keeps the newest, the loss is counted.
TEST(MqttBroker, UnreachableBrokerNeitherBlocksNorGrowsWithoutBound)
{
    MqttTarget target;
    ASSERT_EQ(parse_mqtt_url("mqtt://127.0.0.1:9/qvtest/nobody", target), "");
    MqttPublisher publisher(10);
    ASSERT_EQ(publisher.start(target), "");
    const auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < 1000; ++k)
        publisher.publish_event(std::string(100, 'x'));
    const auto spent = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(spent, std::chrono::seconds(5));  // generous: a blocking publish would take far longer
    EXPECT_EQ(publisher.dropped(), 990);
    EXPECT_EQ(publisher.stop(200), 1000);

    // Pictures are bounded by their bytes too: 3 MiB of 1 MiB snapshots keeps the newest three.
    MqttPublisher pictures(1000, 3 << 20);
    ASSERT_EQ(pictures.start(target), "");
    for (int k = 0; k < 10; ++k)
        pictures.publish_snapshot(std::string(1 << 20, static_cast<char>(k)));
    EXPECT_EQ(pictures.dropped(), 7);
    EXPECT_EQ(pictures.stop(200), 10);
}

// The real program: every event log line goes out on PREFIX/events; a SIGKILL leaves "offline" as the will.
TEST(MqttBroker, DemoPublishesItsEventLogAndLeavesItsWillWhenKilled)
{
    NEED_BROKER();
    TempDir dir;
    const std::string clip = write_test_clip(dir.file("in.avi"), 40);
    const std::string prefix = unique_prefix("demo");
    const std::string url = "mqtt://127.0.0.1:" + std::to_string(broker_port()) + "/" + prefix;
    {
        Listener listener(prefix);
        const std::string events = dir.file("events.jsonl");
        const ChildResult run = run_demo_binary(clip, dir.file("out.avi"), {"--events", events, "--mqtt", url});
        ASSERT_TRUE(run.exited && run.status == 0) << run.err;
        const std::vector<std::string> lines = read_lines(events);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(listener.wait_for(prefix + "/events", lines.size()), lines);
        EXPECT_EQ(listener.wait_for(prefix + "/available", 2), (std::vector<std::string>{"online", "offline"}));
    }
    // A run that is killed cannot say goodbye; the broker says it for it.
    const std::string killed_prefix = unique_prefix("killed");
    Listener listener(killed_prefix);
    const std::string long_clip = write_test_clip(dir.file("long.avi"), 3000);
    bool killed = false;
    run_demo_binary(long_clip, dir.file("out2.avi"), {"-n", "0", "--mqtt", "mqtt://127.0.0.1:" + std::to_string(broker_port()) + "/" + killed_prefix}, 120, [&](pid_t pid) {
        if (!killed && !listener.on(killed_prefix + "/available").empty()) {
            kill(pid, SIGKILL);
            killed = true;
        }
    });
    ASSERT_TRUE(killed) << "qv_demo never announced itself online";
    EXPECT_EQ(listener.wait_for(killed_prefix + "/available", 2), (std::vector<std::string>{"online", "offline"}));
}

// A camera that hangs up and comes back: the loss and the recovery go out as event lines of their
// own, among the others and in the log's order, and each snapshot's JPEG bytes go to PREFIX/snapshot.
TEST(MqttBroker, DemoPublishesSourceChangesAndSnapshots)
{
    NEED_BROKER();
    TempDir dir;
    StallingCamera camera(40, 2, 10);  // the block crosses the line in each connection's pictures
    const std::string prefix = unique_prefix("camera");
    Listener listener(prefix);
    const std::string events = dir.file("events.jsonl");
    const std::string snaps = dir.file("snaps");
    const ChildResult run = run_demo_binary(
        camera.url(), dir.file("out.avi"),
        {"-r", "3:40,20,40,110", "--reconnect", "--events", events, "--snapshots", snaps, "--mqtt",
         "mqtt://127.0.0.1:" + std::to_string(broker_port()) + "/" + prefix},
        90, interrupt_once([&] { return camera.connections_served() >= 2; }));
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 130) << run.err;

    const std::vector<std::string> lines = read_lines(events);
    const auto has = [&](const char *text) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string &line) { return line.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(has("\"event\": \"source_lost\""));
    EXPECT_TRUE(has("\"event\": \"source_recovered\""));
    EXPECT_EQ(listener.wait_for(prefix + "/events", lines.size()), lines);

    std::vector<std::string> pictures;
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(snaps))
        names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    for (const std::string &name : names)
        pictures.push_back(read_file(name));
    ASSERT_FALSE(pictures.empty()) << "no event, so no snapshot: " << run.out;
    EXPECT_EQ(pictures[0].substr(0, 2), "\xff\xd8");
    EXPECT_EQ(listener.wait_for(prefix + "/snapshot", pictures.size()), pictures);
}

// mqtts:// with --mqtt-cafile: a certificate made for 127.0.0.1 here, its own CA, on a TLS listener;
// the event lines arrive as over plain MQTT. A CA that did not sign it gets no line through.
TEST(MqttBroker, DemoPublishesOverTlsToABrokerItCanVerify)
{
    NEED_BROKER();
    TempDir dir;
    const std::string cert = dir.file("broker.crt"), key = dir.file("broker.key");
    const std::string other = dir.file("other.crt"), other_key = dir.file("other.key");
    for (const auto &[c, k] : {std::pair{cert, key}, std::pair{other, other_key}}) {
        const ChildResult made = run_child({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                                            "-keyout", k, "-out", c, "-days", "1", "-subj", "/CN=127.0.0.1",
                                            "-addext", "subjectAltName=IP:127.0.0.1"},
                                           60);
        if (!made.exited || made.status != 0)
            GTEST_SKIP() << "cannot make a test certificate with openssl: " << made.err;
    }
    OwnBroker own(dir);
    const int tls_port = own.add_tls_listener(cert, key);
    own.start();
    const std::string clip = write_test_clip(dir.file("in.avi"), 40);
    for (const bool trusted : {true, false}) {
        SCOPED_TRACE(trusted);
        const std::string prefix = unique_prefix("tls");
        Listener listener(prefix, own.port());
        const std::string events = dir.file("events.jsonl");
        const ChildResult run = run_demo_binary(
            clip, dir.file("out.avi"),
            {"--events", events, "--mqtt", "mqtts://127.0.0.1:" + std::to_string(tls_port) + "/" + prefix,
             "--mqtt-cafile", trusted ? cert : other});
        ASSERT_TRUE(run.exited && run.status == 0) << run.err;
        const std::vector<std::string> lines = read_lines(events);
        ASSERT_FALSE(lines.empty());
        if (trusted) {
            EXPECT_EQ(listener.wait_for(prefix + "/events", lines.size()), lines);
            EXPECT_EQ(listener.wait_for(prefix + "/available", 2), (std::vector<std::string>{"online", "offline"}));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            EXPECT_TRUE(listener.on(prefix + "/events").empty());
            EXPECT_NE(run.err.find("TLS handshake failed"), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("MQTT messages were dropped or left unsent"), std::string::npos) << run.err;
        }
    }
}

// A wrong password: one clear line on stderr, and the run still processes every frame.
TEST(MqttBroker, RefusedLoginIsReportedAndTheRunGoesOn)
{
    NEED_BROKER();
    const char *auth_port = std::getenv("QV_MQTT_AUTH_PORT");
    if (auth_port == nullptr)
        GTEST_SKIP() << "no password-protected test broker";
    TempDir dir;
    const std::string clip = write_test_clip(dir.file("in.avi"), 30);
    const std::string password = dir.file("password");
    std::ofstream(password) << "wrong\n";
    const ChildResult run =
        run_demo_binary(clip, dir.file("out.avi"),
                        {"--mqtt", std::string("mqtt://127.0.0.1:") + auth_port + "/qvtest/auth", "--mqtt-user",
                         "qv", "--mqtt-password-file", password});
    ASSERT_TRUE(run.exited && run.status == 0) << run.err;
    EXPECT_EQ(processed_frames(run), 29);
    EXPECT_NE(run.err.find("refused the connection"), std::string::npos) << run.err;
}

// The broker goes away mid-run and comes back on the same port: nothing published in between is lost
// or reordered (the queue holds it), and the publisher finds the broker again by itself.
TEST(MqttBroker, BrokerRestartedMidRunDeliversTheQueuedLinesInOrder)
{
    NEED_BROKER();  // mosquitto is installed; this test runs a broker of its own that it can stop
    TempDir dir;
    OwnBroker own(dir);
    const int own_port = own.port();
    ASSERT_GT(own_port, 0);
    own.start();
    MqttTarget target;
    ASSERT_EQ(parse_mqtt_url("mqtt://127.0.0.1:" + std::to_string(own_port) + "/qvtest/restart", target), "");
    MqttPublisher publisher(1000);
    ASSERT_EQ(publisher.start(target), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<std::string> sent;
    for (int k = 0; k < 20; ++k) {
        sent.push_back("before " + std::to_string(k));
        publisher.publish_event(sent.back());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    own.stop();
    // Queued while away: only once the loss is seen. Lines handed over in the instant
    // before may come again, or after later ones, on reconnecting (QoS 1 is at least once).
    for (int k = 0; k < 100 && publisher.connected(); ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_FALSE(publisher.connected());
    std::vector<std::string> after;
    for (int k = 0; k < 50; ++k) {
        after.push_back("while away " + std::to_string(k));
        publisher.publish_event(after.back());
    }
    own.start();
    // Subscribes straight away; the publisher's next retry comes a second or more later.
    Listener listener("qvtest/restart", own_port);
    const std::vector<std::string> got = listener.wait_for("qvtest/restart/events", after.size(), 20);
    EXPECT_EQ(publisher.stop(), 0);
    // Lines that were in flight when the broker stopped may come again (QoS 1 is at least once);
    // the ones queued while it was away arrive all, in order.
    std::vector<std::string> away;
    for (const std::string &line : got)
        if (line.rfind("while away", 0) == 0)
            away.push_back(line);
    EXPECT_EQ(away, after);
}

// The same through the program: the broker is stopped while qv_demo runs and started again on
// the same port; every event log line reaches a subscriber, in the log's order. The subscriber
// keeps a persistent session on a broker that saves its state, so nothing is published
// while it is still reconnecting.
TEST(MqttBroker, DemoRidesOutABrokerRestart)
{
    NEED_BROKER();
    TempDir dir;
    OwnBroker own(dir, true);
    ASSERT_GT(own.port(), 0);
    own.start();
    const std::string prefix = unique_prefix("demo-restart");
    Listener listener(prefix, own.port(), "qvtest-sub-" + std::to_string(getpid()));
    const auto received = [&] { return listener.on(prefix + "/events"); };

    StallingCamera camera(3000, 1, 4);  // 12 s of pictures; the block crosses the line every 35
    const std::string events = dir.file("events.jsonl");
    int phase = 0;  // 0 broker up, 1 stopped, 2 started again, 3 interrupted
    auto changed_at = std::chrono::steady_clock::now();
    int lines_while_away = 0;
    const ChildResult run = run_demo_binary(
        camera.url(), dir.file("out.avi"),
        {"-r", "3:40,20,40,110", "-n", "0", "--events", events, "--mqtt",
         "mqtt://127.0.0.1:" + std::to_string(own.port()) + "/" + prefix},
        90, [&](pid_t pid) {
            const int lines = count_file_lines(events);
            const auto now = std::chrono::steady_clock::now();
            if (phase == 0 && lines >= 4 && received().size() >= 2) {
                own.stop();
                lines_while_away = -lines;
                phase = 1;
                changed_at = now;
            } else if (phase == 1 && now - changed_at > std::chrono::milliseconds(1500)) {
                lines_while_away += lines;
                own.start();
                phase = 2;
                changed_at = now;
            } else if (phase == 2 && now - changed_at > std::chrono::seconds(3)) {
                kill(pid, SIGINT);
                phase = 3;
            }
        });
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 130) << run.err;
    ASSERT_EQ(phase, 3) << run.err;
    EXPECT_GT(lines_while_away, 0) << "no event while the broker was away";
    EXPECT_NE(run.err.find("MQTT broker 127.0.0.1:" + std::to_string(own.port()) + " lost"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("dropped or left unsent"), std::string::npos) << run.err;

    const std::vector<std::string> lines = read_lines(events);
    std::vector<std::string> arrived;
    for (int i = 0; i < 200; ++i) {
        // QoS 1 is at least once: a line in flight when the broker stopped may come twice.
        arrived.clear();
        for (const std::string &line : received())
            if (std::find(arrived.begin(), arrived.end(), line) == arrived.end())
                arrived.push_back(line);
        if (arrived.size() >= lines.size())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(arrived, lines);
}

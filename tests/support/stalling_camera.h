#pragma once
#include <atomic>
#include <string>
#include <thread>

#include <opencv2/core.hpp>

// A network camera on 127.0.0.1 serving Motion JPEG over HTTP, as multipart parts
// the way such cameras do, as fast as it can; after some pictures it goes quiet
// without closing the connection. Picture k (from 0) carries the number k % 1024 the way
// numbered clips do (tests/support/clips.h), under a moving bright block.
class StallingCamera {
public:
    // With connections > 1 it hangs up after each of the first connections' pictures
    // and takes the next connection, serving the pictures again. interval_ms > 0 paces
    // the pictures like a real camera instead of sending them as fast as it can.
    // Connections after the first get pictures of later_size when one is given
    // (a camera whose resolution was changed while it rebooted).
    explicit StallingCamera(int frames, int connections = 1, int interval_ms = 0, cv::Size later_size = {});
    ~StallingCamera();
    StallingCamera(const StallingCamera &) = delete;
    StallingCamera &operator=(const StallingCamera &) = delete;
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/video.mjpg"; }

    int connections_served() const { return connections_served_; }

private:
    void serve();
    bool serve_one(bool last);

    int frames_;
    int connections_;
    int interval_ms_;
    cv::Size later_size_;
    std::atomic<int> connections_served_{0};
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

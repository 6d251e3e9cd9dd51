#include "tests/support/stalling_camera.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "tests/support/clips.h"

StallingCamera::StallingCamera(int frames, int connections, int interval_ms, cv::Size later_size)
    : frames_(frames), connections_(connections), interval_ms_(interval_ms), later_size_(later_size)
{
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    listen(listener_, 1);
    thread_ = std::thread([this] { serve(); });
}

StallingCamera::~StallingCamera()
{
    stop_ = true;
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
}

void StallingCamera::serve()
{
    for (int c = 0; c < connections_ && !stop_; ++c) {
        if (!serve_one(c + 1 == connections_))
            return;
    }
}

bool StallingCamera::serve_one(bool last)
{
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0)
        return false;
    ++connections_served_;
    char request[2048];
    if (recv(client, request, sizeof request, 0) <= 0) {
        close(client);
        return false;
    }
    const std::string header =
        "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=frame\r\n\r\n";
    send(client, header.data(), header.size(), MSG_NOSIGNAL);
    for (int k = 0; k < frames_ && !stop_; ++k) {
        const bool later = connections_served_ > 1 && !later_size_.empty();
        cv::Mat frame(later ? later_size_ : cv::Size(160, 120), CV_8UC3, cv::Scalar(70, 80, 90));
        cv::rectangle(frame, cv::Rect(4 * k % 140, 40, 16, 30), cv::Scalar(240, 240, 240), cv::FILLED);
        paint_frame_number(frame, k % 1024);
        std::vector<uchar> jpeg;
        cv::imencode(".jpg", frame, jpeg);
        const std::string part = "--frame\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                 std::to_string(jpeg.size()) + "\r\n\r\n";
        if (send(client, part.data(), part.size(), MSG_NOSIGNAL) < 0 ||
            send(client, jpeg.data(), jpeg.size(), MSG_NOSIGNAL) < 0 || send(client, "\r\n", 2, MSG_NOSIGNAL) < 0)
            break;
        if (interval_ms_ > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms_));
    }
    // Stay connected and silent, like a camera that hung; or, before the last
    // connection, hang up like a camera that rebooted.
    while (last && !stop_)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    close(client);
    return true;
}


#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "tests/robustness/demo_runner.h"
#include "tests/support/clips.h"

namespace {

// A network camera serving Motion JPEG over HTTP, as multipart parts the way
// such cameras do; after some pictures it goes quiet without closing the connection.
class StallingCamera {
public:
    explicit StallingCamera(int frames) : frames_(frames)
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
    ~StallingCamera()
    {
        stop_ = true;
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/video.mjpg"; }

private:
    void serve()
    {
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0)
            return;
        char request[2048];
        if (recv(client, request, sizeof request, 0) <= 0) {
            close(client);
            return;
        }
        const std::string header =
            "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=frame\r\n\r\n";
        send(client, header.data(), header.size(), MSG_NOSIGNAL);
        for (int k = 0; k < frames_ && !stop_; ++k) {
            cv::Mat frame(120, 160, CV_8UC3, cv::Scalar(70, 80, 90));
            cv::rectangle(frame, cv::Rect(4 * k % 140, 40, 16, 30), cv::Scalar(240, 240, 240), cv::FILLED);
            std::vector<uchar> jpeg;
            cv::imencode(".jpg", frame, jpeg);
            const std::string part = "--frame\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                     std::to_string(jpeg.size()) + "\r\n\r\n";
            if (send(client, part.data(), part.size(), MSG_NOSIGNAL) < 0 ||
                send(client, jpeg.data(), jpeg.size(), MSG_NOSIGNAL) < 0 || send(client, "\r\n", 2, MSG_NOSIGNAL) < 0)
                break;
        }
        // Stay connected and silent, like a camera that hung.
        while (!stop_)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        close(client);
    }

    int frames_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace

TEST(Stream, ACameraThatStopsDeliveringEndsTheRunInOrder)
{
    TempDir dir;
    StallingCamera camera(60);
    const ChildResult run = run_demo_binary(camera.url(), dir.file("out.avi"), {}, 90);
    ASSERT_FALSE(run.timed_out) << run.err;
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GT(processed_frames(run), 0);
    EXPECT_NE(run.err.find("stopped delivering frames"), std::string::npos) << run.err;
    EXPECT_EQ(count_readable_frames(dir.file("out.avi")), processed_frames(run));
}

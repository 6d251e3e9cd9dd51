// An unreachable stream says why, in words a user can act on.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "driver/stream_probe.h"

namespace {

// A listening TCP socket on 127.0.0.1; its port, and the socket to close.
int listen_local(int &port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    listen(fd, 1);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace

TEST(StreamProbe, SaysRefusedNotFoundOrNothing)
{
    int port = 0;
    const int fd = listen_local(port);
    const std::string url = "rtsp://user:pw@127.0.0.1:" + std::to_string(port) + "/live";
    EXPECT_EQ(stream_unreachable_reason(url), "") << "a server is there; its answer is the trouble";
    close(fd);
    EXPECT_EQ(stream_unreachable_reason(url),
              "connection refused (127.0.0.1 port " + std::to_string(port) + ")");
    EXPECT_EQ(stream_unreachable_reason("http://no-such-host.invalid/cam.mjpg").rfind("host not found", 0), 0u);
    EXPECT_EQ(stream_unreachable_reason("file:///tmp/x.avi"), "");
    EXPECT_EQ(stream_unreachable_reason("http://"), "");
}

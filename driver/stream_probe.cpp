#include "driver/stream_probe.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Endpoint {
    std::string host;
    std::string port;
};

// Host and port of scheme://[user@]host[:port]/..., with the scheme's usual port.
bool parse_endpoint(const std::string &url, Endpoint &endpoint)
{
    const size_t sep = url.find("://");
    if (sep == std::string::npos)
        return false;
    const std::string scheme = url.substr(0, sep);
    const char *default_port = scheme == "http" ? "80" : scheme == "https" ? "443" : scheme == "rtsp" ? "554"
                               : scheme == "rtmp" ? "1935" : scheme == "mms" ? "1755" : nullptr;
    if (default_port == nullptr && scheme != "tcp")
        return false;
    std::string authority = url.substr(sep + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    const size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority = authority.substr(at + 1);
    std::string port = default_port != nullptr ? default_port : "";
    if (!authority.empty() && authority[0] == '[') {  // [v6 address]:port
        const size_t close = authority.find(']');
        if (close == std::string::npos)
            return false;
        if (close + 1 < authority.size() && authority[close + 1] == ':')
            port = authority.substr(close + 2);
        authority = authority.substr(1, close - 1);
    } else if (const size_t colon = authority.rfind(':'); colon != std::string::npos) {
        port = authority.substr(colon + 1);
        authority = authority.substr(0, colon);
    }
    if (authority.empty() || port.empty())
        return false;
    endpoint = {authority, port};
    return true;
}

// Connects without blocking longer than timeout_ms; returns 0 or the errno of the failure.
int try_connect(const addrinfo &address, int timeout_ms)
{
    const int fd = socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0)
        return errno;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    int error = 0;
    if (connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd wait{fd, POLLOUT, 0};
            const int ready = poll(&wait, 1, timeout_ms);
            if (ready == 0) {
                error = ETIMEDOUT;
            } else {
                socklen_t length = sizeof error;
                if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                    error = errno;
            }
        }
    }
    close(fd);
    return error;
}

} // namespace

std::string stream_unreachable_reason(const std::string &url, int timeout_ms)
{
    Endpoint endpoint;
    if (!parse_endpoint(url, endpoint))
        return {};
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int lookup = getaddrinfo(endpoint.host.c_str(), endpoint.port.c_str(), &hints, &found);
    if (lookup != 0)
        return lookup == EAI_NONAME || lookup == EAI_NODATA || lookup == EAI_AGAIN || lookup == EAI_FAIL
                   ? "host not found (" + endpoint.host + ")"
                   : std::string("cannot look up ") + endpoint.host + ": " + gai_strerror(lookup);
    int error = 0;
    for (const addrinfo *a = found; a != nullptr; a = a->ai_next) {
        error = try_connect(*a, timeout_ms);
        if (error == 0)
            break;
    }
    freeaddrinfo(found);
    if (error == 0)
        return {};
    const std::string where = " (" + endpoint.host + " port " + endpoint.port + ")";
    if (error == ECONNREFUSED)
        return "connection refused" + where;
    if (error == ETIMEDOUT)
        return "timed out" + where;
    return std::strerror(error) + where;
}

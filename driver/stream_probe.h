#pragma once
#include <string>

// Why a network stream URL (http, https, rtsp, rtmp, tcp, mms) cannot be
// reached: "host not found", "connection refused", "timed out" or the
// system's word for it. "" when a connection to its host and port can be
// made (the trouble is then what the server sends), or when the URL names no
// host this can try. Waits at most timeout_ms for the connection.
std::string stream_unreachable_reason(const std::string &url, int timeout_ms = 5000);

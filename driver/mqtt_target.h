#pragma once
#include <string>

// Where and how to publish: parsed from mqtt://HOST[:PORT]/PREFIX or mqtts://...
struct MqttTarget {
    std::string host;
    int port = 1883;
    std::string prefix;
    bool tls = false;
    std::string user;
    std::string password;
    std::string cafile;
};

// Parses url into target. Returns "" or a one-line reason.
std::string parse_mqtt_url(const std::string &url, MqttTarget &target);

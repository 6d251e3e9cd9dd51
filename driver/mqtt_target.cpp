#include "driver/mqtt_target.h"

std::string parse_mqtt_url(const std::string &url, MqttTarget &target)
{
    std::string rest;
    if (url.rfind("mqtt://", 0) == 0) {
        rest = url.substr(7);
        target.tls = false;
        target.port = 1883;
    } else if (url.rfind("mqtts://", 0) == 0) {
        rest = url.substr(8);
        target.tls = true;
        target.port = 8883;
    } else {
        return "--mqtt takes mqtt://HOST[:PORT]/PREFIX or mqtts://..., got '" + url + "'";
    }
    const size_t slash = rest.find('/');
    if (slash == std::string::npos || slash + 1 >= rest.size())
        return "--mqtt needs a topic prefix after the host, as in mqtt://HOST/PREFIX, got '" + url + "'";
    std::string host = rest.substr(0, slash);
    target.prefix = rest.substr(slash + 1);
    while (!target.prefix.empty() && target.prefix.back() == '/')
        target.prefix.pop_back();
    if (target.prefix.empty() || target.prefix.find_first_of("#+") != std::string::npos)
        return "--mqtt: the topic prefix must not be empty or hold # or +, got '" + url + "'";
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos) {
        const std::string port = host.substr(colon + 1);
        host = host.substr(0, colon);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(port) < 1 || std::stoi(port) > 65535)
            return "--mqtt: bad port '" + port + "' in '" + url + "'";
        target.port = std::stoi(port);
    }
    if (host.empty())
        return "--mqtt: no host in '" + url + "'";
    target.host = host;
    return {};
}

#include "online/UpdateServer.h"

#include <charconv>

#include "online/OnlineTexts.h"

UpdateServer ResolveUpdateServer(const char* override) {
    const UpdateServer maker{online::kServerHost, online::kServerPort};
    if (!override || !*override) return maker;
    const std::string_view value(override);
    const std::size_t colon = value.rfind(':');
    if (colon == std::string_view::npos) return {std::string(value), online::kServerPort};
    const std::string_view host = value.substr(0, colon);
    const std::string_view portText = value.substr(colon + 1);
    int port = 0;
    const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (host.empty() || error != std::errc() || end != portText.data() + portText.size() ||
        port < 1 || port > 65535) {
        return maker;
    }
    return {std::string(host), port};
}

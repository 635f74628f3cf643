// A plug-in offering the terminal's streaming-client interface, for the start-up probe: it
// remembers the text its sixth operation was asked about and counts its objects.
#include <cstdint>
#include <cstring>

#include "m4systems/plugin.h"

namespace {

char g_asked[64] = {};
int g_alive = 0;
int g_made = 0;

int32_t CanHandle(M4InputService*, const char* url) {
    std::strncpy(g_asked, url != nullptr ? url : "", sizeof(g_asked) - 1);
    return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) uint32_t QueryInterface(uint32_t type) {
    return type == M4_STREAMING_CLIENT_INTERFACE ? 1 : 0;
}

extern "C" __attribute__((visibility("default"))) void* LoadInterface(uint32_t type) {
    if (type != M4_STREAMING_CLIENT_INTERFACE) return nullptr;
    auto* service = new M4InputService{};
    service->interface_id = M4_STREAMING_CLIENT_INTERFACE;
    service->CanHandleURL = &CanHandle;
    ++g_alive;
    ++g_made;
    return service;
}

extern "C" __attribute__((visibility("default"))) void ShutdownInterface(void* object) {
    --g_alive;
    delete static_cast<M4InputService*>(object);
}

extern "C" __attribute__((visibility("default"))) const char* ProbePluginAsked() {
    return g_asked;
}
extern "C" __attribute__((visibility("default"))) int ProbePluginAlive() {
    return g_alive;
}
extern "C" __attribute__((visibility("default"))) int ProbePluginMade() {
    return g_made;
}

// The three exports of a test plug-in that offers one input service, over the plug-in's own
// CanHandleURL, Connect and Close (Close also runs when the terminal shuts the service down):
//   KORU_TEST_INPUT_SERVICE_EXPORTS("module name", CanHandleUrl, Connect, Close)
#ifndef TESTS_SUPPORT_INPUT_SERVICE_PLUGIN_H
#define TESTS_SUPPORT_INPUT_SERVICE_PLUGIN_H

#include <cstdint>

#include "m4systems/plugin.h"

namespace koru::test {

// Close of a plug-in whose Connect puts a Feed (with `stop` and a delivering `thread`) in the
// service's context: the thread ends before the feed is freed.
template <class Feed>
int32_t CloseFeed(M4InputService* service) {
    auto* feed = static_cast<Feed*>(service->context);
    if (feed == nullptr) return 0;
    feed->stop = true;
    if (feed->thread.joinable()) feed->thread.join();
    delete feed;
    service->context = nullptr;
    service->status = 5;
    return 0;
}

}  // namespace koru::test

#define KORU_TEST_INPUT_SERVICE_EXPORTS(name, can_handle, connect, close)                      \
    extern "C" __attribute__((visibility("default"))) uint32_t QueryInterface(uint32_t type) { \
        return type == M4_INPUT_SERVICE_INTERFACE ? 1 : 0;                                     \
    }                                                                                          \
    extern "C" __attribute__((visibility("default"))) void* LoadInterface(uint32_t type) {     \
        if (type != M4_INPUT_SERVICE_INTERFACE) return nullptr;                                \
        auto* service = new M4InputService{};                                                  \
        service->interface_id = M4_INPUT_SERVICE_INTERFACE;                                    \
        service->module_name = name;                                                           \
        service->author = "KORU-DMB tests";                                                    \
        service->version = 1;                                                                  \
        service->CanHandleURL = can_handle;                                                    \
        service->Operation7 = [](M4InputService*) -> int32_t { return 0; };                    \
        service->Connect = connect;                                                            \
        service->Close = close;                                                                \
        service->status = 5;                                                                   \
        return service;                                                                        \
    }                                                                                          \
    extern "C" __attribute__((visibility("default"))) void ShutdownInterface(void* object) {   \
        auto* service = static_cast<M4InputService*>(object);                                  \
        if (service == nullptr || service->interface_id != M4_INPUT_SERVICE_INTERFACE) return; \
        close(service);                                                                        \
        delete service;                                                                        \
    }

#endif

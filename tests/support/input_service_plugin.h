// The three exports of a test plug-in that offers one input service, over the plug-in's own
// CanHandleURL, Connect and Close (Close also runs when the terminal shuts the service down):
//   KORU_TEST_INPUT_SERVICE_EXPORTS("module name", CanHandleUrl, Connect, Close)
#ifndef TESTS_SUPPORT_INPUT_SERVICE_PLUGIN_H
#define TESTS_SUPPORT_INPUT_SERVICE_PLUGIN_H

#include <cstdint>

#include "m4systems/plugin.h"

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

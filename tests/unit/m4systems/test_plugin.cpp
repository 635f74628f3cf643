// A minimal plug-in offering one interface type, counting the objects it has alive.
#include <cstdint>

namespace {
constexpr uint32_t kOfferedType = 0x54455354;  // 'TEST'
int g_alive = 0;
struct TestObject {
    uint32_t type;
};
}  // namespace

extern "C" __attribute__((visibility("default"))) uint32_t QueryInterface(uint32_t type) {
    return type == kOfferedType ? 1 : 0;
}

extern "C" __attribute__((visibility("default"))) void* LoadInterface(uint32_t type) {
    if (type != kOfferedType) return nullptr;
    ++g_alive;
    return new TestObject{type};
}

extern "C" __attribute__((visibility("default"))) void ShutdownInterface(void* object) {
    --g_alive;
    delete static_cast<TestObject*>(object);
}

extern "C" __attribute__((visibility("default"))) int TestPluginAliveObjects() {
    return g_alive;
}

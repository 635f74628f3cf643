// Any bytes as "channel.xml": load them, and what is saved from them must load back to the
// same document.
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "player/settings/em_xmlfile.h"

namespace {

std::string Resave(std::string_view document, bool* loaded) {
    koru::settings::ChannelStore store;
    koru::settings::EM_XmlFile file(store, "/nonexistent/channel.xml");
    *loaded = file.LoadSettingsFromText(document);
    return file.SettingsDocument();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool home_set = [] {
        // Default working folders are created below a private home.
        char pattern[] = "/tmp/koru-fuzz-settings-XXXXXX";
        const char* home = mkdtemp(pattern);
        setenv("HOME", home, 1);
        setenv("XDG_CONFIG_HOME", home, 1);
        return true;
    }();
    (void)home_set;
    bool loaded = false;
    const std::string first =
        Resave(std::string_view(reinterpret_cast<const char*>(data), size), &loaded);
    if (!loaded) return 0;
    bool reloaded = false;
    const std::string second = Resave(first, &reloaded);
    if (!reloaded || second != first) __builtin_trap();
    return 0;
}

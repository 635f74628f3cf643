// Any bytes as "channel.xml": load them, read the reservations' time texts, and what is saved
// from them must load back to the same document.
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "player/settings/em_xmlfile.h"
#include "player/settings/reservation_time.h"

namespace {

std::string Resave(std::string_view document, bool* loaded) {
    koru::settings::ChannelStore store;
    koru::settings::EM_XmlFile file(store, "/nonexistent/channel.xml");
    *loaded = file.LoadSettingsFromText(document);
    // A time text of 14 characters that names a moment is the text of that moment (local time
    // is UTC here, so no hour is skipped).
    for (const koru::settings::Reservation& reservation : store.reservations) {
        for (std::string_view text : {koru::settings::FixedText(reservation.start),
                                      koru::settings::FixedText(reservation.end)}) {
            const auto moment = koru::settings::ParseReservationTime(text);
            if (moment && text.size() == koru::settings::kReservationTimeLength &&
                koru::settings::ReservationTimeText(*moment) != text) {
                __builtin_trap();
            }
        }
    }
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
        setenv("TZ", "UTC", 1);
        tzset();
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

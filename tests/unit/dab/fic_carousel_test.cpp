#include "dab/fic_carousel.h"

#include <gtest/gtest.h>

#include <map>

#include "dab/crc.h"
#include "dab/fic.h"
#include "dab/fig.h"

namespace koru::dab {
namespace {

Ensemble ManyServices(int count) {
    Ensemble e;
    e.eid = 0x1234;
    e.label = *Label::FromUtf8("Carousel test");
    for (int i = 0; i < count; ++i) {
        e.subchannels.push_back({static_cast<uint8_t>(i), static_cast<uint16_t>(i * 24),
                                 *Protection::Eep(EepOption::kA, 3, 32)});
        Service s{static_cast<uint32_t>(0xC000 + i),
                  false,
                  *Label::FromUtf8("Service " + std::to_string(i)),
                  {}};
        Component c;
        c.subchannel_id = static_cast<uint8_t>(i);
        c.user_apps.push_back({kUserAppSlideshow, {0x0C, 0x3C}});
        s.components.push_back(c);
        e.services.push_back(s);
    }
    return e;
}

// Key of a FIG: type and extension (FIG 0) or type, extension and identifier (labels).
std::string FigKey(const Fig& fig) {
    std::string key = std::to_string(fig.type) + "/" + std::to_string(fig.data[0] & 0x1F);
    if (fig.type == 1) key += "/" + std::to_string(fig.data[1] * 256 + fig.data[2]);
    return key;
}

// Every FIG comes at least at its rate, 0/0 opens every fourth frame, and a receiver has the
// whole service list within a second, also with 20 services.
TEST(FicCarousel, KeepsTheRates) {
    for (int count : {3, 20}) {
        const Ensemble ensemble = ManyServices(count);
        FicCarousel carousel(ensemble);
        FicDecoder decoder;
        std::map<std::string, std::vector<int>> seen;  // frames each FIG was in
        int complete_at = -1;
        for (int frame = 0; frame < 200; ++frame) {
            const std::vector<Fib> fibs = carousel.Next(static_cast<uint16_t>(frame));
            ASSERT_EQ(fibs.size(), 3u);
            for (size_t i = 0; i < fibs.size(); ++i) {
                EXPECT_TRUE(Crc16Matches(fibs[i]));
                decoder.Feed(fibs[i]);
                bool first = true;
                ForEachFig(std::span(fibs[i]).first(kFibDataSize), [&](const Fig& fig) {
                    const std::string key = FigKey(fig);
                    if (key == "0/0") {
                        EXPECT_TRUE(i == 0 && first && frame % 4 == 0);
                    }
                    first = false;
                    if (seen[key].empty() || seen[key].back() != frame) seen[key].push_back(frame);
                });
            }
            if (complete_at < 0 && decoder.complete()) complete_at = frame;
        }
        EXPECT_GE(complete_at, 0);
        EXPECT_LT(complete_at, 42) << count << " services";
        EXPECT_EQ(decoder.ensemble().services.size(), static_cast<size_t>(count));
        for (const auto& [key, frames] : seen) {
            const bool rate_a = key == "0/0" || key == "0/1" || key == "0/2" || key == "0/3";
            const int rate = rate_a ? kRateAFrames : kRateBFrames;
            EXPECT_LE(frames.front(), rate) << key;
            for (size_t k = 1; k < frames.size(); ++k) {
                EXPECT_LE(frames[k] - frames[k - 1], rate) << key << " at " << frames[k];
            }
        }
        EXPECT_TRUE(seen.contains("1/0/4660"));
        EXPECT_TRUE(seen.contains("0/13"));
    }
}

}  // namespace
}  // namespace koru::dab

// The air's recordings, read with the DAB toolkit's ETI-NI reader.
#include <map>
#include <mutex>
#include <span>

#include "dab/crc.h"
#include "dab/eti.h"
#include "usbdev/rxsim/air.h"

namespace rxsim {

namespace {

std::shared_ptr<const Ensemble> ReadEnsemble(const std::string& path, std::string* error) {
    std::optional<koru::dab::EtiReader> reader = koru::dab::EtiReader::Open(path, error);
    if (!reader) return nullptr;
    auto ensemble = std::make_shared<Ensemble>();
    koru::dab::EtiFrame frame;
    while (reader->Next(&frame)) {
        AirFrame air;
        for (const auto& fib : frame.fibs)
            air.fibs.insert(air.fibs.end(), fib.begin(), fib.end());
        for (const koru::dab::EtiStream& stream : frame.streams) {
            // A stream of STL x 8 bytes per 24 ms runs at STL x 8 / 3 kbit/s.
            const int bitrate = static_cast<int>(stream.data.size() / 3);
            air.subchannels.push_back({stream.subchannel_id, stream.start_address,
                                       koru::dab::ProtectionOfStream(stream.tpl, bitrate),
                                       stream.data});
        }
        ensemble->frames.push_back(std::move(air));
    }
    if (ensemble->frames.empty()) {
        *error = path + " holds no good ETI-NI frame";
        return nullptr;
    }
    return ensemble;
}

}  // namespace

std::shared_ptr<const Ensemble> LoadEnsemble(const std::string& path, std::string* error) {
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<const Ensemble>> shared;
    std::lock_guard lock(mutex);
    std::shared_ptr<const Ensemble> ensemble = shared[path].lock();
    if (ensemble == nullptr) {
        ensemble = ReadEnsemble(path, error);
        shared[path] = ensemble;
    }
    return ensemble;
}

bool FibCrcOk(const uint8_t* fib) {
    return koru::dab::Crc16Matches(std::span<const uint8_t>(fib, 32));
}

}  // namespace rxsim

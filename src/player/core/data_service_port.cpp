#include "player/core/data_service_port.h"

#include "rxmod/rxmod_api.h"

namespace koru::player {

int PadAudioPort::GetDLSData(uint8_t* buffer) {
    return ::GetDLSData(buffer);
}

int PadAudioPort::GetMOTFileName(MOTFileName* record) {
    return ::GetMOTFileName(record);
}

void PadAudioPort::SetMOTBodyPath(const std::string& path) {
    ::SetMOTBodyPath(path.c_str());
}

}  // namespace koru::player

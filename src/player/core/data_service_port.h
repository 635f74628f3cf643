// What the message window reads and sets for the data services: the radio audio module's
// current label and slideshow object (GetDLSData, GetMOTFileName) and the receiver plug-in's
// folder for data-service objects (SetMOTBodyPath). The calls are safe from the main thread;
// tests put a stand-in in their place.
#ifndef PLAYER_CORE_DATA_SERVICE_PORT_H
#define PLAYER_CORE_DATA_SERVICE_PORT_H

#include <cstdint>
#include <string>

#include "m4systems/padaudio/padaudio.h"
#include "player/core/data_service_text.h"

namespace koru::player {

// The object name record.
static_assert(sizeof(MOTFileName) == 256);

class DataServicePort {
  public:
    virtual ~DataServicePort() = default;
    // Fills the 256-byte buffer with the current label's bytes; returns their number.
    virtual int GetDLSData(uint8_t* buffer) = 0;
    // Fills the record with the current slideshow object; 0 without one.
    virtual int GetMOTFileName(MOTFileName* record) = 0;
    virtual void SetMOTBodyPath(const std::string& path) = 0;
};

// padaudio and the receiver plug-in themselves.
class PadAudioPort : public DataServicePort {
  public:
    int GetDLSData(uint8_t* buffer) override;
    int GetMOTFileName(MOTFileName* record) override;
    void SetMOTBodyPath(const std::string& path) override;
};

}  // namespace koru::player

#endif

// What the message window reads and sets for the data services: the radio audio module's
// current label and slideshow object (GetDLSData, GetMOTFileName) and the receiver plug-in's
// folder for data-service objects (SetMOTBodyPath). The calls are safe from the main thread;
// tests put a stand-in in their place. Also the two texts the message window makes of them:
// a label as UTF-8 and a data channel's folder.
#ifndef PLAYER_CORE_DATA_SERVICE_PORT_H
#define PLAYER_CORE_DATA_SERVICE_PORT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "m4systems/padaudio/padaudio.h"

namespace koru::player {

// The DLS buffer and the object name record.
constexpr size_t kDlsBufferBytes = 256;
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

// A dynamic label as UTF-8: character sets 4 and 6 are UCS-2 (big endian, as broadcast), 15
// UTF-8, 0 and every other set EBU Latin. The text ends at a zero character or after length
// bytes (at most the buffer's 256).
std::string LabelText(int charset, const uint8_t* buffer, size_t length);

// The folder of a data channel below the MOT base folder (which ends in "/"): the label without
// its trailing blanks, made safe as one folder name (no "/", not "." or ".."), and a "/".
std::string ChannelDataFolder(const std::string& mot_base, const std::string& label);

}  // namespace koru::player

#endif

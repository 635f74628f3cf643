// The texts the message window makes of the data services' broadcast bytes: a dynamic label as
// UTF-8, and the folder of a data channel from its label.
#ifndef PLAYER_CORE_DATA_SERVICE_TEXT_H
#define PLAYER_CORE_DATA_SERVICE_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace koru::player {

// The DLS buffer.
constexpr size_t kDlsBufferBytes = 256;

// A dynamic label as UTF-8: character sets 4 and 6 are UCS-2 (big endian, as broadcast), 15
// UTF-8, 0 and every other set EBU Latin. The text ends at a zero character or after length
// bytes (at most the buffer's 256).
std::string LabelText(int charset, const uint8_t* buffer, size_t length);

// The folder of a data channel below the MOT base folder (which ends in "/"): the label without
// its trailing blanks, made safe as one folder name (no "/", not "." or ".."), and a "/".
std::string ChannelDataFolder(const std::string& mot_base, const std::string& label);

}  // namespace koru::player

#endif

// Capture of the video picture to a JPEG file in the capture folder, named after the channel
// (or the played file) and the local time to the millisecond.
#ifndef PLAYER_CORE_CAPTURE_H
#define PLAYER_CORE_CAPTURE_H

#include <functional>
#include <string>

#include "m4systems/terminal.h"
#include "player/core/local_time.h"
#include "player/core/main_controller.h"

namespace koru::player {

// "<folder>/<base> 3월3일14시5분9초007.jpg" (the same in both languages).
std::string CaptureFileName(const std::string& folder, const std::string& base,
                            const LocalTime& time);

// Writes the record's picture (blue, green, red a pixel, top row first) as a baseline JPEG of
// quality 90 in red, green, blue. Nothing is written, and false returned, for a pixel size
// other than 3 (logged "pixelSize is not 3."), an empty picture, or a file that cannot be made.
bool WriteCaptureJpeg(const M4CaptureRecord& record, const std::string& path);

class Capture {
  public:
    // file_name: the name of the file that plays (file playback captures are named after it).
    Capture(MainController& controller, LocalClock clock, std::function<std::string()> file_name);

    // Control 1011, key C, menu commands 32795 and 32800.
    void Command();
    // The last file written, or empty.
    const std::string& last_file() const { return last_file_; }

  private:
    std::string BaseText() const;

    MainController& controller_;
    LocalClock clock_;
    std::function<std::string()> file_name_;
    std::string last_file_;
};

}  // namespace koru::player

#endif

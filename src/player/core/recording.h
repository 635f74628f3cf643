// Recording of the service that plays: the Record command, the start (1130) that names the
// file after the channel and the local time in the video or radio recording folder, the stop
// (1125) with its one report of the files a TV recording was split into, and the terminal's
// reports (1236 write error, 1237 size limit, 1238 split). Start and Stop are also what a
// scheduled recording calls from its timers.
#ifndef PLAYER_CORE_RECORDING_H
#define PLAYER_CORE_RECORDING_H

#include <string>

#include "player/core/local_time.h"
#include "player/core/main_controller.h"
#include "player/core/message_window.h"
#include "player/core/time_shift.h"

namespace koru::player {

// The report of a split recording is at most this long, terminator included.
constexpr size_t kSplitReportBytes = 4096;

// A channel label or file name as part of a file name: blanks trimmed at both ends, and '/'
// (which would lead into another folder) replaced by '_'.
std::string FileNameText(const std::string& text);

// "<folder>/<channel> 3-3 14H 5M 9S" (English) or "<folder>/<channel> 3월3일14시5분9초"
// (Korean), without extension.
std::string RecordingBaseName(const std::string& folder, const std::string& channel,
                              const LocalTime& time, int language);

// The information shown when a TV recording was split: the base name, then "<base>-n.ts" for
// n = 1 to splits, then the reason; file names that do not fit the bound are left out.
std::string SplitReport(const std::string& base, int splits, int language);

class Recording {
  public:
    Recording(MainController& controller, VelmarMessage& message_window, TimeShift& time_shift,
              LocalClock clock);

    // Control 1012, key R, menu commands 32789 and 32798.
    void Command();
    // 1130: starts recording what plays; the state becomes 110 only when the file was created.
    void Start();
    // 1125 while recording, and the terminal's reports that end a recording.
    void Stop();
    // 1238: the terminal went on in the next "-n.ts" file.
    void Split();

    // Record as soon as playback starts (set by scheduled recordings).
    void set_pending(bool pending) { pending_ = pending; }
    bool pending() const { return pending_; }
    int splits() const { return splits_; }
    // The file being (or last) recorded.
    const std::string& path() const { return path_; }

  private:
    MainController& controller_;
    PlayerState& state_;
    VelmarMessage& message_window_;
    TimeShift& time_shift_;
    LocalClock clock_;
    bool pending_ = false;
    int splits_ = 0;
    std::string base_name_;
    std::string path_;
};

}  // namespace koru::player

#endif

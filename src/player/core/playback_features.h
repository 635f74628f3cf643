// Recording, time shift, capture and file playback attached to the main window's logic: the
// PlaybackExtensions that MainController and the message window call, made of one part each.
// While it exists, the Open, Record and Capture commands are available.
#ifndef PLAYER_CORE_PLAYBACK_FEATURES_H
#define PLAYER_CORE_PLAYBACK_FEATURES_H

#include "player/core/capture.h"
#include "player/core/file_playback.h"
#include "player/core/local_time.h"
#include "player/core/main_controller.h"
#include "player/core/message_window.h"
#include "player/core/recording.h"
#include "player/core/time_shift.h"

namespace koru::player {

class PlaybackFeatures : public PlaybackExtensions {
  public:
    struct Dependencies {
        MainController* controller = nullptr;
        VelmarMessage* message_window = nullptr;
        LocalClock clock = &LocalTimeNow;
        FilePlayback::ChooseFiles choose_files;
    };
    explicit PlaybackFeatures(const Dependencies& dependencies);
    ~PlaybackFeatures() override;
    PlaybackFeatures(const PlaybackFeatures&) = delete;
    PlaybackFeatures& operator=(const PlaybackFeatures&) = delete;

    Recording& recording() { return recording_; }
    TimeShift& time_shift() { return time_shift_; }
    Capture& capture() { return capture_; }
    FilePlayback& files() { return files_; }

    // PlaybackExtensions.
    void OpenCommand() override { files_.OpenCommand(); }
    void OpenFileDialog() override { files_.OpenDialog(); }
    void OpenFileFromUrlBuffer() override { files_.OpenFromUrlBuffer(); }
    void FilePlayPause() override { files_.PlayPause(); }
    void StopFile() override { files_.Stop(); }
    void RecordCommand() override { recording_.Command(); }
    void StartRecording() override { recording_.Start(); }
    void StopRecording() override { recording_.Stop(); }
    void RecordSplit() override { recording_.Split(); }
    void FirstFrame() override;
    void CaptureCommand() override { capture_.Command(); }
    void TimeShiftPlayPause() override { time_shift_.PlayPause(); }
    void TimeShiftOffShown() override { time_shift_.NoteOff(); }
    void ResetTimeShift() override { time_shift_.Reset(); }
    std::string TimeShiftText() override { return time_shift_.Text(); }
    bool TimeShiftAvailable() override { return time_shift_.Available(); }
    void SeekFile(int offset, int span) override { files_.Seek(offset, span); }
    void FileProgress(long long position_ms, long long length_ms) override {
        files_.Progress(position_ms, length_ms);
    }
    void LiveTuned(int watch_kind) override { files_.LiveTuned(watch_kind); }
    void OnTimer(int id) override;

  private:
    void SetCommandsAvailable(bool available);

    MainController& controller_;
    TimeShift time_shift_;
    FilePlayback files_;
    Recording recording_;
    Capture capture_;
};

}  // namespace koru::player

#endif

// Playback of recorded files: the Open command and its dialog, opening what the URL buffer
// names (the dialog, the command line, dropped files, a second start of the player), the layout
// that the file's extension asks for, pause and resume, the progress bar (timer 2324) with
// seeking, and the end of the file.
#ifndef PLAYER_CORE_FILE_PLAYBACK_H
#define PLAYER_CORE_FILE_PLAYBACK_H

#include <functional>
#include <string>
#include <vector>

#include "player/core/main_controller.h"

namespace koru::player {

// The open dialog's choices, in the order the dialog shows them.
constexpr const char* kOpenFileFilters =
    "KORU-DMB (*.ts *.mp2);;Mpeg2 transport streams (*.ts);;Mpeg2 audio file (*.mp2 *.mp3);;"
    "All files (*)";

// The name after the last '/' and the extension after the last '.' of that name.
struct FileNameParts {
    std::string name;
    std::string extension;
};
FileNameParts SplitFileName(const std::string& path);

class FilePlayback {
  public:
    // Shows the open dialog; the existing files chosen, or none when it was cancelled.
    using ChooseFiles = std::function<std::vector<std::string>()>;

    FilePlayback(MainController& controller, ChooseFiles choose_files);

    // Control 1000, key O, menu command 32783.
    void OpenCommand();
    // 1126: the dialog; the first file chosen plays.
    void OpenDialog();
    // 1139: plays the file that the URL buffer names.
    void OpenFromUrlBuffer();
    // Play or Space in file playback: pauses and resumes; a stopped file starts again.
    void PlayPause();
    // Stop in file playback (the controller has stopped the progress timer).
    void Stop();
    // Timer 2324: asks the event window for the file clock.
    void ProgressTick();
    // The event window's answer.
    void Progress(long long position_ms, long long length_ms);
    // A press in the progress bar: offset pixels of span from the bar's left end.
    void Seek(int offset, int span);
    // A live channel came back after a file: the layout follows the list again.
    void LiveTuned(int watch_kind);

    const std::string& name() const { return name_; }
    const std::string& extension() const { return extension_; }
    bool paused() const { return paused_; }

  private:
    void Play();
    void Connect();
    void SwitchLayout(int layout);

    MainController& controller_;
    PlayerState& state_;
    ChooseFiles choose_files_;
    std::string name_;
    std::string extension_;
    bool paused_ = false;
    long long length_ms_ = 0;
    bool length_known_ = false;  // the terminal told the length since the file started
    // Clock requests not yet answered; answers from before the last Play are dropped.
    int clock_requests_ = 0;
};

}  // namespace koru::player

#endif

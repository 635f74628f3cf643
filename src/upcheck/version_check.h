// One check from start to end: the old information file removed, the downloader started and
// polled every 500 ms with the status line's dot animation, then the information file read
// and the outcome shown (the latest version, the offer to download, or what went wrong). The
// dialog (UpcheckDlg) shows what this class decides; closing it ends the check at any time.
#ifndef UPCHECK_VERSION_CHECK_H
#define UPCHECK_VERSION_CHECK_H

#include <functional>
#include <string>

#include "upcheck/downloader.h"
#include "upcheck/upcheck_texts.h"

namespace koru::upcheck {

// What the check asks of the dialog.
class VersionCheckView {
  public:
    enum class Icon { kWarning, kInformation };
    virtual ~VersionCheckView() = default;
    virtual void SetStatusText(const std::string& text) = 0;
    // A message box with the caption "Version Check".
    virtual void ShowMessage(Icon icon, const std::string& text) = 0;
    // The download question with Yes and No.
    virtual bool AskYesNo(const std::string& text) = 0;
    // Opens the URL in the system's browser; false when that is refused.
    virtual bool OpenUrl(const std::string& url) = 0;
    // The check is over: the program ends.
    virtual void End() = 0;
};

// The poll timer (the dialog's timer 100): a QTimer in the program, a hand-driven one in tests.
class PollTimer {
  public:
    virtual ~PollTimer() = default;
    virtual void Start(int period_ms, std::function<void()> tick) = 0;
    virtual void Stop() = 0;
};

class VersionCheck {
  public:
    static constexpr int kPollPeriodMs = 500;

    struct Setup {
        Language language = Language::kEnglish;
        std::string host;             // the maker's web host, named in the messages
        std::string base_path;        // ending in "/"
        std::string current_version;  // the installed version, as given
        std::string working_folder;   // where the downloader writes the information file
    };
    VersionCheck(Setup setup, VersionCheckView& view, PollTimer& timer);
    ~VersionCheck();
    VersionCheck(const VersionCheck&) = delete;
    VersionCheck& operator=(const VersionCheck&) = delete;

    // Removes an old information file and starts the download (or reports that it cannot).
    void Start();
    // Every 500 ms while the download runs.
    void Tick();
    // Closing the dialog: the downloader is ended and its partial file removed.
    void Close();

    const std::string& status_text() const { return status_; }
    int tick_count() const { return tick_; }
    bool ended() const { return ended_; }

  private:
    void DownloadFinished(int exit_code);
    // The outcome of a readable information file.
    void Answer(const std::string& bytes);
    void Warn(Message message);
    void End();
    std::string InfoFilePath() const;
    void RemoveInfoFile() const;

    Setup setup_;
    VersionCheckView& view_;
    PollTimer& timer_;
    Downloader downloader_;
    std::string status_;
    int tick_ = 1;
    bool ended_ = false;
};

}  // namespace koru::upcheck

#endif

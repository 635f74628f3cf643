// The outside downloader: Debian's "wget", found on PATH and started without a shell with the
// one URL as its only argument. It writes the file into its working folder; exit code 0 means
// success. The check polls it and never waits for it.
#ifndef UPCHECK_DOWNLOADER_H
#define UPCHECK_DOWNLOADER_H

#include <QProcess>
#include <string>

namespace koru::upcheck {

class Downloader {
  public:
    enum class State {
        kRunning,
        kExited,  // ended with an exit code
        kBroken,  // ended without one (killed by a signal)
    };

    Downloader() = default;
    ~Downloader() { Kill(); }
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // False when "wget" is not on PATH or does not start.
    bool Start(const std::string& url, const std::string& working_folder);
    // Whether it still runs; the exit code once it has exited.
    State Poll(int* exit_code);
    // Ends a running downloader and waits for it to go.
    void Kill();
    bool running() const { return process_.state() != QProcess::NotRunning; }

  private:
    QProcess process_;
};

}  // namespace koru::upcheck

#endif

#include "upcheck/downloader.h"

#include <QStandardPaths>

namespace koru::upcheck {

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kKillTimeoutMs = 5000;

}  // namespace

bool Downloader::Start(const std::string& url, const std::string& working_folder) {
    const QString program = QStandardPaths::findExecutable("wget");
    if (program.isEmpty()) return false;
    process_.setWorkingDirectory(QString::fromStdString(working_folder));
    // Its progress report has no window to go to.
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.setStandardInputFile(QProcess::nullDevice());
    process_.start(program, {QString::fromStdString(url)});
    return process_.waitForStarted(kStartTimeoutMs);
}

Downloader::State Downloader::Poll(int* exit_code) {
    // Collects an ended child even when no event has been delivered since.
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(0))
        return State::kRunning;
    if (process_.exitStatus() != QProcess::NormalExit) return State::kBroken;
    *exit_code = process_.exitCode();
    return State::kExited;
}

void Downloader::Kill() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(kKillTimeoutMs);
}

}  // namespace koru::upcheck

#include "upcheck/version_check.h"

#include <filesystem>
#include <fstream>

#include "m4systems/log.h"
#include "upcheck/proginfo.h"

namespace koru::upcheck {

namespace {

constexpr const char* kSource = "upcheck";
constexpr int kDotCycle = 5;
constexpr size_t kDotsPerCycle = kDotCycle - 1;

// The file's beginning, or false when it cannot be opened.
bool ReadBeginning(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->resize(kReadLimit);
    in.read(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    bytes->resize(static_cast<size_t>(in.gcount()));
    return true;
}

}  // namespace

VersionCheck::VersionCheck(Setup setup, VersionCheckView& view, PollTimer& timer)
    : setup_(std::move(setup)), view_(view), timer_(timer), status_(StatusText(setup_.language)) {}

VersionCheck::~VersionCheck() {
    // The view may be gone already: only the downloader and its file are cleaned up.
    if (ended_) return;
    downloader_.Kill();
    RemoveInfoFile();
}

void VersionCheck::Start() {
    view_.SetStatusText(status_);
    RemoveInfoFile();
    const std::string url = setup_.base_path + kProgInfoFile;
    if (!downloader_.Start(url, setup_.working_folder)) {
        M4_LOG(1, kSource, "cannot start wget for %s", url.c_str());
        Warn(Message::kCheckerBroken);
        End();
        return;
    }
    M4_LOG(2, kSource, "wget %s", url.c_str());
    timer_.Start(kPollPeriodMs, [this] { Tick(); });
}

void VersionCheck::Tick() {
    if (ended_) return;
    // One more dot on each tick; every fifth tick takes the four dots away again.
    if (tick_ % kDotCycle != 0) {
        status_ += '.';
    } else if (status_.size() >= kDotsPerCycle) {
        status_.resize(status_.size() - kDotsPerCycle);
    }
    ++tick_;
    view_.SetStatusText(status_);

    int exit_code = 0;
    const Downloader::State state = downloader_.Poll(&exit_code);
    if (state == Downloader::State::kRunning) return;
    timer_.Stop();
    if (state == Downloader::State::kBroken) {
        M4_LOG(1, kSource, "wget ended without an exit code");
        Warn(Message::kCheckerBroken);
        RemoveInfoFile();
        End();
        return;
    }
    DownloadFinished(exit_code);
}

void VersionCheck::DownloadFinished(int exit_code) {
    M4_LOG(2, kSource, "wget exit code %d", exit_code);
    std::string bytes;
    if (exit_code != 0 || !ReadBeginning(InfoFilePath(), &bytes)) {
        Warn(Message::kNoInformation);
    } else {
        Answer(bytes);
    }
    RemoveInfoFile();
    End();
}

void VersionCheck::Answer(const std::string& bytes) {
    const ProgInfo info = ParseProgInfo(bytes);
    if (!info.readable) {
        M4_LOG(1, kSource, "%s: a line over %zu characters or a NUL byte", kProgInfoFile,
               kLineLimit);
        Warn(Message::kNoInformation);
        return;
    }
    if (VersionNumber(info.version) <= VersionNumber(setup_.current_version)) {
        view_.ShowMessage(VersionCheckView::Icon::kInformation,
                          MessageText(Message::kLatest, setup_.language, setup_.host));
        return;
    }
    // Only a plain name may follow the base path: nothing else is ever opened.
    if (!IsPlainFileName(info.file_name)) {
        M4_LOG(1, kSource, "%s: refused a file name of %zu characters", kProgInfoFile,
               info.file_name.size());
        Warn(Message::kNoInformation);
        return;
    }
    if (!view_.AskYesNo(QuestionText(setup_.language, setup_.current_version, info.version)))
        return;
    if (!view_.OpenUrl(setup_.base_path + info.file_name)) {
        view_.ShowMessage(VersionCheckView::Icon::kInformation,
                          MessageText(Message::kBrowserFailed, setup_.language, setup_.host));
    }
}

void VersionCheck::Close() {
    if (ended_) return;
    timer_.Stop();
    downloader_.Kill();
    RemoveInfoFile();
    End();
}

void VersionCheck::Warn(Message message) {
    view_.ShowMessage(VersionCheckView::Icon::kWarning,
                      MessageText(message, setup_.language, setup_.host));
}

void VersionCheck::End() {
    if (ended_) return;
    ended_ = true;
    view_.End();
}

std::string VersionCheck::InfoFilePath() const {
    return (std::filesystem::path(setup_.working_folder) / kProgInfoFile).string();
}

void VersionCheck::RemoveInfoFile() const {
    std::error_code ignored;
    std::filesystem::remove(InfoFilePath(), ignored);
}

}  // namespace koru::upcheck

// Every text the update checker shows, in Korean and in English. The maker's web host name
// completes the messages that send the user to the company's homepage.
#ifndef UPCHECK_UPCHECK_TEXTS_H
#define UPCHECK_UPCHECK_TEXTS_H

#include <string>

namespace koru::upcheck {

enum class Language { kKorean = 0, kEnglish = 1 };

// The caption of every message box.
constexpr const char* kBoxCaption = "Version Check";

enum class Message {
    kCheckerBroken,  // the downloader cannot be started or its exit code cannot be read
    kNoInformation,  // the download failed or gave no usable information file
    kLatest,         // the installed version is current
    kBrowserFailed,  // the browser did not start
};

std::string MessageText(Message message, Language language, const std::string& host);
// The question that offers the download, with the installed and the latest version.
std::string QuestionText(Language language, const std::string& current, const std::string& latest);
// The status line while the check runs (the dots follow it) and the installed version's label.
std::string StatusText(Language language);
std::string VersionLabel(Language language);

}  // namespace koru::upcheck

#endif

#include "player/core/command_line.h"

#include "player/core/single_instance.h"

namespace koru::player {

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    constexpr const char* kOption = "--eti";
    const std::string with_value = std::string(kOption) + "=";
    CommandLine line;
    for (size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == kOption) {
            if (i + 1 < arguments.size()) line.recording = arguments[++i];
        } else if (argument.rfind(with_value, 0) == 0) {
            line.recording = argument.substr(with_value.size());
        } else {
            // The first file plays; a desktop that hands over more than one is not refused.
            if (line.file.empty()) line.file = StripQuotes(argument);
            continue;
        }
        if (line.recording.empty()) line.error = "--eti needs a recording: FILE.eti[@KHZ]";
    }
    return line;
}

}  // namespace koru::player

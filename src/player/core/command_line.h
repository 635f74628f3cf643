// The player's command line:
//   VelmarPlayer [--eti FILE.eti[@KHZ]] [FILE]
// FILE plays after start-up; --eti puts an ETI-NI recording on the air of the emulated
// receiver (on KHZ, else on the first frequency of the chosen region) and searches it.
#ifndef PLAYER_CORE_COMMAND_LINE_H
#define PLAYER_CORE_COMMAND_LINE_H

#include <string>
#include <vector>

namespace koru::player {

struct CommandLine {
    std::string file;       // without its surrounding quotes; empty: none
    std::string recording;  // the argument of --eti as given; empty: none
    std::string error;      // why the arguments cannot be used; empty when they can
};

// arguments: the command line without the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The usage text for an error.
constexpr const char* kCommandLineUsage = "usage: VelmarPlayer [--eti FILE.eti[@KHZ]] [FILE]";

}  // namespace koru::player

#endif

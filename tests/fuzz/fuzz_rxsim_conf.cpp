// Any bytes as receiver.conf, and each of their lines as a command of rxsimctl.
#include <cstdint>
#include <sstream>
#include <string>

#include "m4systems/log.h"
#include "usbdev/rxsim/rxsim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static rxsim::Emulator* emulator = [] {
        M4_SetLogLevel(0);
        return new rxsim::Emulator(rxsim::StickConfig{});
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);
    rxsim::StickConfig config;
    std::string error;
    rxsim::ParseReceiverConf(text, "/nowhere", &config, &error);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::string answer = emulator->Control(line);
        if (answer.rfind("ok", 0) != 0 && answer.rfind("error", 0) != 0) __builtin_trap();
    }
    emulator->Plug();
    emulator->ClearFaults();
    return 0;
}

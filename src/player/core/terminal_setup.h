// The terminal's set-up at start: the ini file "KORU-DMB.cfg" of the user folder, the plug-in
// manager (falling back to the program folder, with the defaults a fresh install needs), and
// the keys the terminal expects.
#ifndef PLAYER_CORE_TERMINAL_SETUP_H
#define PLAYER_CORE_TERMINAL_SETUP_H

#include <string>

#include "m4systems/inifile.h"
#include "m4systems/plugin.h"

namespace koru::player {

enum class TerminalSetupResult {
    kOk,
    kNoIniFile,  // "KORU-DMB Configuration file does not found. ..."
    kNoPlugins,  // "Plugin file does not found. ..."
};

struct TerminalSetup {
    TerminalSetupResult result = TerminalSetupResult::kNoIniFile;
    // Owned by the caller on kOk; null otherwise (whatever was opened is closed again).
    IniFile* ini = nullptr;
    PluginManager* plugins = nullptr;
    // True when the configured plug-in folder failed and the program folder was used.
    bool used_fallback = false;
};

// config_folder holds "KORU-DMB.cfg"; program_folder holds the plug-ins; fonts_folder is what
// "FontEngine"/"FontDirectory" gets when missing.
TerminalSetup SetUpTerminal(const std::string& config_folder, const std::string& program_folder,
                            const std::string& fonts_folder = "/usr/share/fonts");

}  // namespace koru::player

#endif

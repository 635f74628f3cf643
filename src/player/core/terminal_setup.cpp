#include "player/core/terminal_setup.h"

#include <strings.h>

#include "m4systems/log.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPlayerDlg";
constexpr const char* kIniFileName = "KORU-DMB.cfg";

void SetIfMissing(IniFile* ini, const char* section, const char* key, const std::string& value) {
    if (IF_GetKey(ini, section, key) == nullptr) IF_SetKey(ini, section, key, value.c_str());
}

// What a fresh install (or a wrong plug-in folder) needs once the program folder was taken.
void WriteFallbackDefaults(IniFile* ini, const std::string& program_folder) {
    IF_SetKey(ini, "General", "PluginsDirectory", program_folder.c_str());
    SetIfMissing(ini, "Render2D", "GraphicsDriver", "gdip_rend");
    SetIfMissing(ini, "General", "CacheDirectory", program_folder + "/cache");
    IF_SetKey(ini, "Network", "AutoReconfigUDP", "yes");
    IF_SetKey(ini, "Network", "UDPNotAvailable", "no");
    IF_SetKey(ini, "Network", "UDPTimeout", "10000");
    IF_SetKey(ini, "Network", "BufferLength", "3000");
}

// Every plug-in is asked once for the streaming-client interface and shut down again.
void ProbePlugins(PluginManager* plugins) {
    const uint32_t count = PM_GetPluginsCount(plugins);
    for (uint32_t i = 0; i < count; ++i) {
        void* object = nullptr;
        if (PM_LoadInterface(plugins, i, M4_STREAMING_CLIENT_INTERFACE, &object) == 0 ||
            object == nullptr) {
            continue;
        }
        auto* service = static_cast<M4InputService*>(object);
        if (service->CanHandleURL != nullptr) service->CanHandleURL(service, "test.test");
        PM_ShutdownInterface(plugins, object);
    }
}

}  // namespace

TerminalSetup SetUpTerminal(const std::string& config_folder, const std::string& program_folder,
                            const std::string& fonts_folder) {
    TerminalSetup setup;
    IniFile* ini = NewIniFile(config_folder.c_str(), kIniFileName);
    if (ini == nullptr) {
        M4_LOG(1, kSource, "cannot open %s/%s", config_folder.c_str(), kIniFileName);
        setup.result = TerminalSetupResult::kNoIniFile;
        return setup;
    }

    const char* configured = IF_GetKey(ini, "General", "PluginsDirectory");
    PluginManager* plugins = configured != nullptr ? NewPluginManager(configured, ini) : nullptr;
    if (plugins == nullptr) {
        plugins = NewPluginManager(program_folder.c_str(), ini);
        if (plugins != nullptr) {
            setup.used_fallback = true;
            WriteFallbackDefaults(ini, program_folder);
            ProbePlugins(plugins);
        }
    }
    if (IF_GetKey(ini, "Audio", "ForceConfig") == nullptr) {
        IF_SetKey(ini, "Audio", "ForceConfig", "yes");
        IF_SetKey(ini, "Audio", "NumBuffers", "8");
        IF_SetKey(ini, "Audio", "BuffersPerSecond", "16");
        IF_SetKey(ini, "FontEngine", "DriverName", "gdip_rend");
    }

    if (plugins == nullptr || PM_GetPluginsCount(plugins) == 0) {
        PM_Delete(plugins);
        IF_Delete(ini);
        setup.result = TerminalSetupResult::kNoPlugins;
        return setup;
    }

    SetIfMissing(ini, "FontEngine", "FontDirectory", fonts_folder);
    const char* video_driver = IF_GetKey(ini, "Video", "DriverName");
    if (video_driver == nullptr || strcasecmp(video_driver, "raw_out") == 0)
        IF_SetKey(ini, "Video", "DriverName", "dx_hw");

    setup.result = TerminalSetupResult::kOk;
    setup.ini = ini;
    setup.plugins = plugins;
    return setup;
}

}  // namespace koru::player

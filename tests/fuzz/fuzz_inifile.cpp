// Any bytes as "KORU-DMB.cfg": read every key, change one, read them again.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "m4systems/inifile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = [] {
        char pattern[] = "/tmp/koru-fuzz-ini-XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    const std::string path = folder + "/KORU-DMB.cfg";
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    IniFile* ini = NewIniFile(folder.c_str(), "KORU-DMB.cfg");
    if (ini == nullptr) return 0;
    const char* sections[] = {"General", "Audio", "", "[", "a"};
    for (const char* section : sections) {
        IF_GetKey(ini, section, "PluginsDirectory");
        IF_GetKey(ini, section, "");
    }
    IF_SetKey(ini, "General", "PluginsDirectory", "/opt");
    IF_SetKey(ini, "Audio", "ForceConfig", nullptr);
    IF_Delete(ini);
    ini = NewIniFile(folder.c_str(), "KORU-DMB.cfg");
    if (ini != nullptr && IF_GetKey(ini, "General", "PluginsDirectory") == nullptr)
        __builtin_trap();
    IF_Delete(ini);
    return 0;
}

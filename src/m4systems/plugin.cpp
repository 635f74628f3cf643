#include "m4systems/plugin.h"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "m4systems/log.h"

namespace {

constexpr const char* kSource = "plugin";

struct Plugin {
    std::string file_name;  // without folder, e.g. "librxmod.so"
    void* library = nullptr;
    M4QueryInterfaceFn query = nullptr;
    M4LoadInterfaceFn load = nullptr;
    M4ShutdownInterfaceFn shutdown = nullptr;
};

// "librxmod.so", "rxmod.so" and "rxmod" all name the module "rxmod".
std::string ModuleName(std::string name) {
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0) {
        name.resize(name.size() - 3);
    }
    if (name.rfind("lib", 0) == 0) name.erase(0, 3);
    return name;
}

// RTLD_NODELETE: a thread abandoned by TH_Destroy may still run plug-in code after PM_Delete.
bool OpenPlugin(const std::filesystem::path& path, Plugin* plugin) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (library == nullptr) {
        M4_LOG(1, kSource, "cannot open %s: %s", path.c_str(), dlerror());
        return false;
    }
    plugin->query = reinterpret_cast<M4QueryInterfaceFn>(dlsym(library, "QueryInterface"));
    plugin->load = reinterpret_cast<M4LoadInterfaceFn>(dlsym(library, "LoadInterface"));
    plugin->shutdown = reinterpret_cast<M4ShutdownInterfaceFn>(dlsym(library, "ShutdownInterface"));
    if (plugin->query == nullptr || plugin->load == nullptr || plugin->shutdown == nullptr) {
        M4_LOG(3, kSource, "%s is not a plug-in, skipped", path.c_str());
        dlclose(library);
        return false;
    }
    plugin->library = library;
    plugin->file_name = path.filename().string();
    return true;
}

}  // namespace

struct PluginManager {
    std::vector<Plugin> plugins;
    std::mutex mutex;                // guards loaded
    std::map<void*, size_t> loaded;  // object -> index of the plug-in that made it
};

PluginManager* NewPluginManager(const char* folder, IniFile* /*ini*/) {
    if (folder == nullptr) return nullptr;
    std::error_code error;
    std::filesystem::path dir(folder);
    if (!std::filesystem::is_directory(dir, error)) {
        M4_LOG(2, kSource, "no plug-in folder %s", folder);
        return nullptr;
    }
    std::vector<std::filesystem::path> candidates;
    for (const auto& item : std::filesystem::directory_iterator(dir, error)) {
        if (item.path().extension() == ".so" && item.is_regular_file(error)) {
            candidates.push_back(item.path());
        }
    }
    std::sort(candidates.begin(), candidates.end());
    auto* pm = new PluginManager;
    for (const auto& path : candidates) {
        Plugin plugin;
        if (OpenPlugin(path, &plugin)) {
            M4_LOG(2, kSource, "plug-in %s", plugin.file_name.c_str());
            pm->plugins.push_back(plugin);
        }
    }
    return pm;
}

uint32_t PM_GetPluginsCount(PluginManager* pm) {
    return pm != nullptr ? static_cast<uint32_t>(pm->plugins.size()) : 0;
}

int PM_LoadInterface(PluginManager* pm, uint32_t index, uint32_t interface_type, void** out) {
    if (out != nullptr) *out = nullptr;
    if (pm == nullptr || out == nullptr || index >= pm->plugins.size()) return 0;
    const Plugin& plugin = pm->plugins[index];
    if (plugin.query(interface_type) == 0) return 0;
    void* object = plugin.load(interface_type);
    if (object == nullptr) return 0;
    {
        std::lock_guard lock(pm->mutex);
        pm->loaded[object] = index;
    }
    *out = object;
    return 1;
}

int PM_ShutdownInterface(PluginManager* pm, void* object) {
    if (pm == nullptr || object == nullptr) return 0;
    size_t index;
    {
        std::lock_guard lock(pm->mutex);
        auto found = pm->loaded.find(object);
        if (found == pm->loaded.end()) return 0;
        index = found->second;
        pm->loaded.erase(found);
    }
    pm->plugins[index].shutdown(object);
    return 1;
}

void* PM_GetProcAddress(PluginManager* pm, const char* module, const char* symbol) {
    if (pm == nullptr || module == nullptr || symbol == nullptr) return nullptr;
    const std::string wanted = ModuleName(module);
    for (const Plugin& plugin : pm->plugins) {
        if (ModuleName(plugin.file_name) == wanted) return dlsym(plugin.library, symbol);
    }
    return nullptr;
}

const char* PM_GetPluginName(PluginManager* pm, uint32_t index) {
    if (pm == nullptr || index >= pm->plugins.size()) return nullptr;
    return pm->plugins[index].file_name.c_str();
}

void PM_Delete(PluginManager* pm) {
    if (pm == nullptr) return;
    std::map<void*, size_t> left;
    {
        std::lock_guard lock(pm->mutex);
        left.swap(pm->loaded);
    }
    for (const auto& [object, index] : left)
        pm->plugins[index].shutdown(object);
    for (const Plugin& plugin : pm->plugins)
        dlclose(plugin.library);
    delete pm;
}

#include "m4systems/folders.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace koru {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    return home.empty() ? "/tmp" : WithoutTrailingSlash(home);
}

// The DOCUMENTS entry of ~/.config/user-dirs.dirs, e.g. XDG_DOCUMENTS_DIR="$HOME/Documents".
std::string XdgDocumentsEntry() {
    std::string config = Env("XDG_CONFIG_HOME");
    if (config.empty()) config = HomeFolder() + "/.config";
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.rfind("$HOME", 0) == 0) value = HomeFolder() + value.substr(5);
        if (!value.empty() && value[0] == '/') return WithoutTrailingSlash(value);
    }
    return {};
}

}  // namespace

std::string ProgramFolder() {
    std::string overridden = Env("KORU_PROGRAM_DIR");
    if (!overridden.empty()) return WithoutTrailingSlash(overridden);
    std::error_code error;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return WithoutTrailingSlash(std::filesystem::current_path(error).string());
    return exe.parent_path().string();
}

std::string UserFolder() {
    std::string overridden = Env("KORU_DMB_HOME");
    if (!overridden.empty()) return WithoutTrailingSlash(overridden);
    std::string data = Env("XDG_DATA_HOME");
    if (data.empty()) data = HomeFolder() + "/.local/share";
    return WithoutTrailingSlash(data) + "/KORU-DMB";
}

std::string DocumentsFolder() {
    std::string documents = XdgDocumentsEntry();
    return documents.empty() ? HomeFolder() + "/Documents" : documents;
}

std::string WorkingFolder(const std::string& name) {
    return DocumentsFolder() + "/KORU-DMB/" + name;
}

bool PrepareUserFolder() {
    std::error_code error;
    const std::filesystem::path user = UserFolder();
    std::filesystem::create_directories(user, error);
    if (!std::filesystem::is_directory(user, error)) return false;
    const std::filesystem::path config = user / "KORU-DMB.cfg";
    const std::filesystem::path source = std::filesystem::path(ProgramFolder()) / "KORU-DMB.cfg";
    if (!std::filesystem::exists(config, error) && std::filesystem::exists(source, error)) {
        std::filesystem::copy_file(source, config, error);
    }
    return true;
}

}  // namespace koru

// Paths that CTest hands to every test through the environment.
#ifndef KORU_TESTS_SUPPORT_ENVIRONMENT_H
#define KORU_TESTS_SUPPORT_ENVIRONMENT_H

#include <cstdlib>
#include <filesystem>
#include <string>

namespace koru::test {

// The environment variable, else the folder the build compiled in (koru_unit_test defines them).
inline std::string EnvPath(const char* name, const char* built_in) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : built_in;
}

#ifndef KORU_SOURCE_DIR
#define KORU_SOURCE_DIR ""
#define KORU_BIN_DIR ""
#define KORU_REFERENCE_DIR ""
#endif

// The source tree, the build's bin folder (program folder) and the reference recording's folder.
inline std::filesystem::path SourceDir() {
    return EnvPath("KORU_SOURCE_DIR", KORU_SOURCE_DIR);
}
inline std::filesystem::path BinDir() {
    return EnvPath("KORU_BIN_DIR", KORU_BIN_DIR);
}
inline std::filesystem::path ReferenceDir() {
    return EnvPath("KORU_REFERENCE_DIR", KORU_REFERENCE_DIR);
}

// The reference recording, or an empty path when it is not beside this checkout; callers
// GTEST_SKIP() with that message.
inline std::filesystem::path ReferenceEti() {
    std::filesystem::path path = ReferenceDir() / "odr-ensemble-a.eti";
    return std::filesystem::exists(path) ? path : std::filesystem::path();
}

// A file of the reference folder, or an empty path when it is absent.
inline std::filesystem::path ReferenceFile(const char* name) {
    std::filesystem::path path = ReferenceDir() / name;
    return std::filesystem::exists(path) ? path : std::filesystem::path();
}

// The independent DAB+ recording (two DAB+ services, labels and a slide on SubChId 2).
inline std::filesystem::path ReferenceDabPlusEti() {
    return ReferenceFile("odr-dabplus-c.eti");
}

}  // namespace koru::test

#endif

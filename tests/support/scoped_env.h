// Sets environment variables for one test and puts the old values back at its end.
#ifndef KORU_TESTS_SUPPORT_SCOPED_ENV_H
#define KORU_TESTS_SUPPORT_SCOPED_ENV_H

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

namespace koru::test {

class ScopedEnv {
  public:
    ScopedEnv() = default;
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            const auto& [name, value, had] = *it;
            if (had) {
                setenv(name.c_str(), value.c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    void Set(const char* name, const std::string& value) {
        Remember(name);
        setenv(name, value.c_str(), 1);
    }
    void Unset(const char* name) {
        Remember(name);
        unsetenv(name);
    }

  private:
    void Remember(const char* name) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? old : "", old != nullptr);
    }
    std::vector<std::tuple<std::string, std::string, bool>> saved_;
};

}  // namespace koru::test

#endif

#include "m4systems/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace koru {

bool WriteFileAtomically(const std::string& path, std::string_view contents) {
    std::vector<char> temp_path(path.begin(), path.end());
    const std::string suffix = ".tmpXXXXXX";
    temp_path.insert(temp_path.end(), suffix.begin(), suffix.end());
    temp_path.push_back('\0');
    int fd = mkstemp(temp_path.data());
    if (fd < 0) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < contents.size()) {
        ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            ok = false;
        } else {
            done += static_cast<size_t>(n);
        }
    }
    ok = ok && fsync(fd) == 0;
    // mkstemp makes the file private; keep the mode an existing file had, else rw-r--r--.
    struct stat old_stat {};
    mode_t mode = stat(path.c_str(), &old_stat) == 0 ? (old_stat.st_mode & 07777) : 0644;
    ok = ok && fchmod(fd, mode) == 0;
    ok = (close(fd) == 0) && ok;
    if (ok && std::rename(temp_path.data(), path.c_str()) != 0) ok = false;
    if (!ok) unlink(temp_path.data());
    return ok;
}

}  // namespace koru

// Replacing a file without ever leaving it half written.
#ifndef M4SYSTEMS_ATOMIC_FILE_H
#define M4SYSTEMS_ATOMIC_FILE_H

#include <string>
#include <string_view>

namespace koru {

// Writes contents to a temporary file in the same folder, flushes it to disk and renames it
// over path. On failure the old file is untouched and the temporary file removed.
__attribute__((visibility("default"))) bool WriteFileAtomically(const std::string& path,
                                                                std::string_view contents);

}  // namespace koru

#endif

// The version information file "proginfo.txt" that the maker's server publishes:
//     version=<latest version>
//     filename=<installer's file name>
// It comes from the network, so nothing in it is trusted: the parser reads a bounded prefix,
// refuses lines over the limit and NUL bytes, and only a plain file name may be joined to the
// server's base path.
#ifndef UPCHECK_PROGINFO_H
#define UPCHECK_PROGINFO_H

#include <cstddef>
#include <string>
#include <string_view>

namespace koru::upcheck {

constexpr const char* kProgInfoFile = "proginfo.txt";
// The longest line the file may have, without its line end.
constexpr size_t kLineLimit = 255;
// How much of the file is read: two lines at the limit with their line ends fit.
constexpr size_t kReadLimit = 1024;

struct ProgInfo {
    // False when one of the two lines is longer than the limit or holds a NUL byte.
    bool readable = false;
    // The text after "version=" to the end of line 1; empty when line 1 lacks the prefix.
    std::string version;
    // The text after "filename=" to the end of line 2; empty when line 2 lacks the prefix.
    std::string file_name;
};

// Reads the first two lines of bytes (the file's beginning). A line ends at LF; a CR ends its
// text as well.
ProgInfo ParseProgInfo(std::string_view bytes);

// A version text as a decimal number: leading blanks, a sign, digits, a fraction and an
// exponent, up to the first character that cannot belong to the number. No number, and a
// value too large to hold, read as 0.
double VersionNumber(std::string_view text);

// True when name may follow the base path: empty (the base path itself) or made of letters,
// digits, ".", "_", "-" and "+" only, without "..".
bool IsPlainFileName(std::string_view name);

}  // namespace koru::upcheck

#endif

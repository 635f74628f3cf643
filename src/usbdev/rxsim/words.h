// Reading the words of receiver.conf lines and control commands.
#ifndef USBDEV_RXSIM_WORDS_H
#define USBDEV_RXSIM_WORDS_H

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace rxsim {

inline std::vector<std::string> SplitWords(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

// A whole word as a finite decimal number within [low, high].
inline bool ParseDecimal(const std::string& text, double low, double high, double* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(parsed)) return false;
    if (parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

}  // namespace rxsim

#endif

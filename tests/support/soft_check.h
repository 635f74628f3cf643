// CHECK for the end-to-end programs: a failed condition is printed and counted and the run goes
// on, so that one run of a slow scenario shows every fault. main returns CheckFailures() != 0.
#ifndef TESTS_SUPPORT_SOFT_CHECK_H
#define TESTS_SUPPORT_SOFT_CHECK_H

#include <cstdio>

namespace koru::test {

inline int& CheckFailures() {
    static int failures = 0;
    return failures;
}

}  // namespace koru::test

#define CHECK(condition, ...)                                                           \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "FAILED %s:%d: %s: ", __FILE__, __LINE__, #condition); \
            std::fprintf(stderr, __VA_ARGS__);                                          \
            std::fprintf(stderr, "\n");                                                 \
            ++koru::test::CheckFailures();                                              \
        }                                                                               \
    } while (0)

#endif

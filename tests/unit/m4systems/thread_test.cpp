#include "m4systems/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "m4systems/clock.h"

namespace {

struct Work {
    std::atomic<bool> release{false};
    std::atomic<int> runs{0};
};

uint32_t WaitForRelease(void* param) {
    auto* work = static_cast<Work*>(param);
    while (!work->release)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++work->runs;
    return 0;
}

TEST(Thread, RunsAndDeleteWaitsForTheEnd) {
    Work work;
    M4Thread* th = NewThread("worker");
    ASSERT_EQ(TH_Run(th, WaitForRelease, &work), M4OK);
    EXPECT_EQ(TH_Run(th, WaitForRelease, &work), M4BadParam) << "a thread runs once";
    TH_SetPriority(th, 5);
    EXPECT_EQ(TH_IsRunning(th), 1);
    work.release = true;
    TH_Delete(th);
    EXPECT_EQ(work.runs, 1);
}

// The forced end cannot kill: the thread goes on, unharmed, and the caller is not held up.
TEST(Thread, DestroyLeavesARunningThreadToFinishOnItsOwn) {
    static Work work;  // outlives the test, as anything an abandoned thread uses must
    M4Thread* th = NewThread("stubborn");
    ASSERT_EQ(TH_Run(th, WaitForRelease, &work), M4OK);
    TH_Destroy(th);
    work.release = true;
    for (int i = 0; i < 1000 && work.runs == 0; ++i)
        M4_Sleep(1);
    EXPECT_EQ(work.runs, 1);
    TH_Destroy(nullptr);
    TH_Delete(nullptr);
}

TEST(Thread, NewThreadNotRunIsDeletedQuietly) {
    M4Thread* th = NewThread(nullptr);
    EXPECT_EQ(TH_IsRunning(th), 0);
    TH_Delete(th);
}

TEST(Mutex, IsRecursiveAndExcludesOtherThreads) {
    M4Mutex* mx = NewMutex();
    int counter = 0;
    auto add = [&] {
        for (int i = 0; i < 100000; ++i) {
            MX_Lock(mx);
            MX_Lock(mx);
            ++counter;
            MX_Unlock(mx);
            MX_Unlock(mx);
        }
    };
    std::thread other(add);
    add();
    other.join();
    EXPECT_EQ(counter, 200000);
    MX_Delete(mx);
}

}  // namespace

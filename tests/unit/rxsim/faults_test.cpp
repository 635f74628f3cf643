// Pulling and re-plugging the stick, and the same faults through rxsimctl from outside.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "stick_client.h"
#include "support/environment.h"

namespace koru::test {
namespace {

class FaultsTest : public EmulatorFixture {
  protected:
    void SetUp() override {
        EmulatorFixture::SetUp();
        Install("hardware-id 1\n");
        OpenStick();
    }
    uint32_t Count() {
        uint32_t count = 99;
        EXPECT_EQ(ops_->GetNumDevices(&count), SI_SUCCESS);
        return count;
    }
};

TEST_F(FaultsTest, APulledStickIsGoneUntilPluggedInAgain) {
    Pn(0x04, 0x01);
    Pn(0x30, 0x77);
    ASSERT_EQ(Write({0x12, 0x11}), SI_SUCCESS);  // a reply waits in the queue
    emulator_->Pull();
    EXPECT_EQ(Count(), 0u);
    int result = 0;
    EXPECT_TRUE(Read(1, &result).empty());
    EXPECT_EQ(result, SI_READ_ERROR);
    uint32_t written = 0;
    const uint8_t frame[] = {0x12, 0x11};
    EXPECT_EQ(ops_->Write(handle_, frame, 2, &written), SI_WRITE_ERROR);
    EXPECT_EQ(written, 0u);
    uint32_t queued = 9, status = 9;
    EXPECT_EQ(ops_->CheckRXQueue(handle_, &queued, &status), SI_SUCCESS);
    EXPECT_EQ(queued, 0u) << "nothing queued: the host asks for the device count";
    EXPECT_NE(ops_->FlushBuffers(handle_, 1, 1), SI_SUCCESS);
    USB_HANDLE other = nullptr;
    EXPECT_EQ(ops_->Open(0, &other), SI_DEVICE_NOT_FOUND);

    emulator_->Plug();
    EXPECT_EQ(Count(), 1u);
    EXPECT_TRUE(Read(1, &result).empty());
    EXPECT_EQ(result, SI_READ_ERROR) << "the old handle stays dead";
    ASSERT_EQ(ops_->Close(handle_), SI_SUCCESS);
    handle_ = nullptr;
    OpenStick();
    Pn(0x04, 0x01);
    EXPECT_EQ(PnRead(0x30), 0x00) << "powered up afresh";
    ASSERT_EQ(Write({0x12, 0x11}), SI_SUCCESS);
    EXPECT_EQ(Read(1), Bytes{1});
}

// Runs build/bin/rxsimctl with the arguments; its exit status and what it printed.
int RunRxsimctl(const std::string& arguments, std::string* output) {
    std::string command = (BinDir() / "rxsimctl").string() + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char chunk[256];
    size_t n = 0;
    output->clear();
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output->append(chunk, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(FaultsTest, RxsimctlReachesTheEmulatorOfARunningProcess) {
    if (!std::filesystem::exists(BinDir() / "rxsimctl")) GTEST_SKIP() << "rxsimctl not built";
    std::string error;
    ASSERT_TRUE(emulator_->StartControlServer(&error)) << error;
    const std::string pid = "-p " + std::to_string(getpid()) + " ";
    std::string out;

    EXPECT_EQ(RunRxsimctl("list", &out), 0);
    EXPECT_NE(out.find(std::to_string(getpid())), std::string::npos) << out;

    EXPECT_EQ(RunRxsimctl(pid + "pull", &out), 0) << out;
    EXPECT_EQ(Count(), 0u);
    EXPECT_EQ(RunRxsimctl(pid + "status", &out), 0);
    EXPECT_NE(out.find("plugged no"), std::string::npos) << out;
    EXPECT_EQ(RunRxsimctl(pid + "plug", &out), 0);
    EXPECT_EQ(Count(), 1u);
    ops_->Close(handle_);
    handle_ = nullptr;
    OpenStick();

    EXPECT_EQ(RunRxsimctl(pid + "no-hwid on", &out), 0);
    ASSERT_EQ(Write({0x12, 0x11}), SI_SUCCESS);
    EXPECT_TRUE(Read(1).empty());
    EXPECT_EQ(RunRxsimctl(pid + "fw-control-byte on", &out), 0);
    ASSERT_EQ(Write({0x12, 0x10}), SI_SUCCESS);
    EXPECT_NE(Read(255)[6], '|') << "a control byte stands before the first bar";
    EXPECT_EQ(RunRxsimctl(pid + "overrun", &out), 0);
    uint32_t queued = 0, status = 0;
    ASSERT_EQ(ops_->CheckRXQueue(handle_, &queued, &status), SI_SUCCESS);
    EXPECT_EQ(status & SI_RX_OVERRUN, SI_RX_OVERRUN);
    for (const char* command :
         {"lock-loss on", "silence on", "level 7.5", "corrupt-fibs 25", "corrupt-packets 10"}) {
        EXPECT_EQ(RunRxsimctl(pid + command, &out), 0) << command << ": " << out;
    }
    EXPECT_EQ(RunRxsimctl(pid + "status", &out), 0);
    for (const char* line :
         {"lock-loss on", "silence on", "level 7.5\n", "corrupt-fibs 25%", "corrupt-packets 10%",
          "no-hwid on", "fw-control-byte on", "overrun yes"}) {
        EXPECT_NE(out.find(line), std::string::npos) << line << " in\n" << out;
    }
    EXPECT_EQ(RunRxsimctl(pid + "clear", &out), 0);
    ASSERT_EQ(Write({0x12, 0x11}), SI_SUCCESS);
    EXPECT_EQ(Read(1), Bytes{1});

    EXPECT_EQ(RunRxsimctl(pid + "level loud", &out), 1);
    EXPECT_NE(out.find("error"), std::string::npos);
    EXPECT_EQ(RunRxsimctl("-p 1 status", &out), 2) << "no emulator in process 1";
    EXPECT_EQ(RunRxsimctl("", &out), 2) << "usage";
}

}  // namespace
}  // namespace koru::test

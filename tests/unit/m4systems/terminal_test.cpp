#include "m4systems/terminal.h"

#include <gtest/gtest.h>

#include <vector>

#include "m4systems/messages.h"

namespace {

struct Received {
    void* owner;
    uint32_t message;
    M4Param wparam;
    M4Param lparam;
};

std::vector<Received> g_received;

void MessageFunc(void* owner, uint32_t message, M4Param wparam, M4Param lparam) {
    g_received.push_back({owner, message, wparam, lparam});
}

void Hook(void* user, uint32_t message, M4Param wparam, M4Param lparam) {
    g_received.push_back({user, message, wparam, lparam});
}

TEST(Terminal, SendMessageReachesTheNewestTerminalThenTheHook) {
    g_received.clear();
    EXPECT_EQ(NewMPEG4Term(nullptr), nullptr);
    M4User no_function{};
    EXPECT_EQ(NewMPEG4Term(&no_function), nullptr);

    int owner_a = 0, owner_b = 0, hook_user = 0;
    M4User user_a{};
    user_a.owner = &owner_a;
    user_a.MessageFunc = MessageFunc;
    M4User user_b = user_a;
    user_b.owner = &owner_b;
    M4Term* a = NewMPEG4Term(&user_a);
    M4Term* b = NewMPEG4Term(&user_b);
    M4_SetMessageHook(Hook, &hook_user);

    static const char kPath[] = "/tmp/mot/index.htm";
    M4T_SendMessage(WM_SYSTEM_MOT_DIR_TIME, reinterpret_cast<M4Param>(kPath), 30);
    M4T_Delete(b);
    M4T_SendMessage(WM_SYSTEM_SIGNAL_LEVEL, 134, 2000);
    M4T_Delete(a);
    M4T_SendMessage(WM_SYSTEM_NO_DEVICE, 0, 0);
    M4_SetMessageHook(nullptr, nullptr);
    M4T_SendMessage(WM_SYSTEM_NO_DEVICE, 0, 0);  // dropped

    ASSERT_EQ(g_received.size(), 3u);
    EXPECT_EQ(g_received[0].owner, &owner_b);
    EXPECT_EQ(g_received[0].message, 1247u);
    EXPECT_STREQ(reinterpret_cast<const char*>(g_received[0].wparam), kPath);
    EXPECT_EQ(g_received[0].lparam, 30);
    EXPECT_EQ(g_received[1].owner, &owner_a);
    EXPECT_EQ(g_received[1].wparam, 134);
    EXPECT_EQ(g_received[2].owner, &hook_user);
    EXPECT_EQ(g_received[2].message, 1233u);
}

TEST(Messages, NamesFollowTheirCodes) {
    EXPECT_EQ(WM_SYSTEM_RECONNECT, 1124);
    EXPECT_EQ(WM_SYSTEM_EXIT, 1144);
    EXPECT_EQ(WM_SYSTEM_RECONNECT_URL, 1248);
    EXPECT_EQ(WM_USER_SLIDER_MOVED, 10449);
    EXPECT_STREQ(M4_GetMessageName(1226), "WM_SYSTEM_FIRST_FRAME");
    EXPECT_STREQ(M4_GetMessageName(1240), "WM_SYSTEM_FAILURE");
    EXPECT_STREQ(M4_GetMessageName(1246), "WM_SYSTEM_AUDIO_UNSUPPORTED");
    EXPECT_STREQ(M4_GetMessageName(1235), "-");
    EXPECT_STREQ(M4_GetMessageName(0), "-");
}

}  // namespace

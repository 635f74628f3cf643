#include "m4systems/plugin.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace {

constexpr uint32_t kTestType = 0x54455354;

using AliveFn = int (*)();

TEST(PluginManager, LoadsTheTestPluginAndSkipsWhatIsNotAPlugin) {
    PluginManager* pm = NewPluginManager(KORU_TEST_PLUGIN_DIR, nullptr);
    ASSERT_NE(pm, nullptr);
    // notaplugin and broken.so are skipped, not counted.
    ASSERT_EQ(PM_GetPluginsCount(pm), 1u);
    EXPECT_STREQ(PM_GetPluginName(pm, 0), "libtestplugin.so");
    EXPECT_EQ(PM_GetPluginName(pm, 1), nullptr);

    auto alive =
        reinterpret_cast<AliveFn>(PM_GetProcAddress(pm, "testplugin", "TestPluginAliveObjects"));
    ASSERT_NE(alive, nullptr);
    EXPECT_EQ(PM_GetProcAddress(pm, "libtestplugin.so", "TestPluginAliveObjects"),
              reinterpret_cast<void*>(alive));
    EXPECT_EQ(PM_GetProcAddress(pm, "notaplugin", "SomethingElse"), nullptr);
    EXPECT_EQ(PM_GetProcAddress(pm, "testplugin", "NoSuchSymbol"), nullptr);

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(PM_LoadInterface(pm, 0, M4_STREAMING_CLIENT_INTERFACE, &object), 0);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(PM_LoadInterface(pm, 1, kTestType, &object), 0);

    void* first = nullptr;
    void* second = nullptr;
    ASSERT_EQ(PM_LoadInterface(pm, 0, kTestType, &first), 1);
    ASSERT_EQ(PM_LoadInterface(pm, 0, kTestType, &second), 1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(alive(), 2);
    EXPECT_EQ(PM_ShutdownInterface(pm, first), 1);
    EXPECT_EQ(PM_ShutdownInterface(pm, first), 0) << "an object is shut down once";
    EXPECT_EQ(alive(), 1);
    // Deleting the manager hands back what is still loaded.
    PM_Delete(pm);
    EXPECT_EQ(alive(), 0);
}

TEST(PluginManager, RefusesAMissingFolderAndToleratesAnEmptyOne) {
    EXPECT_EQ(NewPluginManager("/nonexistent/folder", nullptr), nullptr);
    EXPECT_EQ(NewPluginManager(nullptr, nullptr), nullptr);
    koru::test::TempDir empty;
    PluginManager* pm = NewPluginManager(empty.str().c_str(), nullptr);
    ASSERT_NE(pm, nullptr);
    EXPECT_EQ(PM_GetPluginsCount(pm), 0u);
    void* object = nullptr;
    EXPECT_EQ(PM_LoadInterface(pm, 0, kTestType, &object), 0);
    PM_Delete(pm);
    PM_Delete(nullptr);
}

}  // namespace

// "channel.xml": defaults, the file's exact structure, reading rules, the round trip of a full
// store, saving that survives a crash, and folder creation.
#include "player/settings/em_xmlfile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <memory>

#include "m4systems/log.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

using koru::settings::ChannelEntry;
using koru::settings::ChannelStore;
using koru::settings::EM_XmlFile;
using koru::test::ReadFile;
using koru::test::TempDir;
using koru::test::WriteFile;

struct LogLine {
    int channel;
    std::string source;
    std::string text;
};

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        env_.Set("HOME", home_.str());
        env_.Set("XDG_CONFIG_HOME", (home_ / "config").string());
        env_.Set("KORU_DMB_HOME", (home_ / "user").string());
        std::filesystem::create_directories(home_ / "user");
        M4_SetLogLevel(3);
        M4_SetLogSink(
            [](void* user, int channel, int, const char* source, const char* text) {
                static_cast<SettingsTest*>(user)->log_.push_back({channel, source, text});
            },
            this);
        file_ = MakeFile(store_);
    }
    void TearDown() override {
        M4_SetLogSink(nullptr, nullptr);
        M4_SetLogLevel(1);
    }
    std::unique_ptr<EM_XmlFile> MakeFile(ChannelStore& store) {
        auto file = std::make_unique<EM_XmlFile>(store);
        file->SetMessageCallback([this](const std::string& caption, const std::string& text) {
            messages_.push_back(caption + "|" + text);
        });
        return file;
    }
    std::string ChannelFile() const { return (home_ / "user/channel.xml").string(); }
    std::filesystem::path Documents() const { return home_ / "Documents/KORU-DMB"; }
    bool Logged(const std::string& text, int channel) const {
        for (const LogLine& line : log_) {
            if (line.text == text && line.channel == channel &&
                (channel == 1 || line.source == "EM_XmlFile")) {
                return true;
            }
        }
        return false;
    }
    // Loads a document through the file on disk.
    bool Load(const std::string& document) {
        WriteFile(ChannelFile(), document);
        return file_->LoadSettings();
    }

    TempDir home_;
    koru::test::ScopedEnv env_;
    ChannelStore store_;
    std::unique_ptr<EM_XmlFile> file_;
    std::vector<std::string> messages_;
    std::vector<LogLine> log_;
};

TEST_F(SettingsTest, NoFileGivesDefaultsAndCreatesTheWorkingFolders) {
    EXPECT_EQ(file_->channel_file_path(), ChannelFile());
    EXPECT_FALSE(file_->LoadSettings());
    const char* names[] = {"capture", "video", "audio", "timeshift", "DataService"};
    for (int i = 0; i < koru::settings::kWorkingFolderCount; ++i) {
        auto folder = static_cast<koru::settings::WorkingFolderIndex>(i);
        EXPECT_EQ(file_->path(folder), (Documents() / names[i]).string());
        EXPECT_TRUE(std::filesystem::is_directory(Documents() / names[i])) << names[i];
    }
    EXPECT_EQ(store_.frequency_region, 2);
    EXPECT_EQ(file_->ratio(), 1);
    EXPECT_EQ(file_->timeshiftonoff(), 1);
    EXPECT_EQ(file_->skin_file(), "Koru Digital.lay");
    EXPECT_EQ(store_.watch_kind, 0);
    EXPECT_EQ(store_.tv.count, 0);
    EXPECT_FALSE(std::filesystem::exists(ChannelFile()));  // loading writes nothing
    EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsTest, NotWellFormedOrForeignFilesLoadAsNoFileAndStayUntilTheNextSave) {
    for (const std::string& text : {std::string("<Velmar ver=\"1.0\"><Channel type="),
                                    std::string(""), std::string("<?xml version=\"1.0\"?>"),
                                    std::string("<Other><Window freqlocal=\"4\"/></Other>")}) {
        EXPECT_FALSE(Load(text)) << text;
        EXPECT_EQ(ReadFile(ChannelFile()), text);
        EXPECT_EQ(store_.frequency_region, 2);
        EXPECT_EQ(file_->path(koru::settings::kVideoFolder), (Documents() / "video").string());
    }
    ASSERT_TRUE(file_->SaveSettings());
    EXPECT_TRUE(file_->LoadSettings());
}

TEST_F(SettingsTest, UnreadableFileIsReportedAndNotTakenForAFirstStart) {
    std::filesystem::create_directory(ChannelFile());  // a folder where the file should be
    EXPECT_FALSE(file_->LoadSettings());
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].substr(0, 6), "Error|");
    EXPECT_FALSE(std::filesystem::exists(Documents()));  // nothing else was done
}

TEST_F(SettingsTest, WindowElementDefaults) {
    // Without freqlocal: region 2; ratio and timeshiftonoff take their attribute defaults.
    ASSERT_TRUE(Load(R"(<Velmar ver="1.0"><Window topmost="true" language="1"/></Velmar>)"));
    EXPECT_EQ(store_.frequency_region, 2);
    EXPECT_EQ(file_->ratio(), 1);
    EXPECT_EQ(file_->timeshiftonoff(), 1);
    EXPECT_TRUE(file_->topmost());
    EXPECT_EQ(store_.language, 1);
    // Without any Window element: region 0, ratio 0, timeshiftonoff 0.
    ASSERT_TRUE(Load(R"(<Velmar ver="1.0"><RegionPos regionX="12"/></Velmar>)"));
    EXPECT_EQ(store_.frequency_region, 0);
    EXPECT_EQ(file_->ratio(), 0);
    EXPECT_EQ(file_->timeshiftonoff(), 0);
    EXPECT_FALSE(file_->topmost());
    EXPECT_EQ(store_.language, 0);
    EXPECT_EQ(file_->region_x(), 12);
    EXPECT_EQ(file_->region_y(), -1);                   // missing attribute of a present element
    EXPECT_EQ(file_->skin_file(), "Koru Digital.lay");  // no Skin element
    // A language or region the tables do not have reads as Korean and the default region, so
    // that a search never scans an empty band table.
    for (const char* region : {"6", "-1", "32767"}) {
        ASSERT_TRUE(Load("<Velmar><Window language=\"7\" freqlocal=\"" + std::string(region) +
                         "\"/></Velmar>"));
        EXPECT_EQ(store_.frequency_region, 2) << region;
        EXPECT_EQ(store_.language, 0);
    }
    // A Skin element without file gives an empty name; no RegionPos gives 0.
    ASSERT_TRUE(Load(R"(<Velmar ver="1.0"><Skin/></Velmar>)"));
    EXPECT_EQ(file_->skin_file(), "");
    EXPECT_EQ(file_->region_x(), 0);
    EXPECT_EQ(file_->region_y(), 0);
}

TEST_F(SettingsTest, ChannelsWatchInfoAndTheirRules) {
    ASSERT_TRUE(Load(R"(<?xml version="1.0"?>
      <Velmar ver="1.0">
        <WatchInfo type="radio" channel="1" volume="30" mute="true" radioch="2" car="TRUE" datach="3"/>
        <Channel type="tv" subch_id="4" freq="175.28" label="KBS1 TV"/>
        <Channel type="tpeg" subch_id="9" freq="181.28" label="TPEG"/>
        <Channel type="radio" subch_id="1" freq="181.28" label="&#xD55C;&#xAD6D;"/>
        <Channel type="tv" freq="208.736"/>
        <Channel subch_id="2" freq="1" label="no type"/>
        <Channel type="data" subch_id="40000" freq="abc" label="x"/>
      </Velmar>)"));
    // The TV entries set WatchKind to 300 and the flag; WatchInfo overrides the kind.
    EXPECT_EQ(store_.watch_kind, koru::settings::kWatchKindRadio);
    EXPECT_EQ(store_.channels_available, 1);
    ASSERT_EQ(store_.tv.count, 2);
    ASSERT_EQ(store_.radio.count, 1);  // tpeg and typeless entries take no slot
    ASSERT_EQ(store_.data.count, 1);
    const ChannelEntry& first = store_.tv.entries[0];
    EXPECT_EQ(koru::settings::FixedText(first.label), "KBS1 TV");
    EXPECT_EQ(first.subch_id, 4);
    EXPECT_EQ(first.kind, 0);
    EXPECT_EQ(koru::settings::FrequencyKHz(first.freq), 175280);
    EXPECT_EQ(koru::settings::FrequencyKHz(store_.tv.entries[1].freq), 208736);
    EXPECT_EQ(store_.tv.entries[1].subch_id, 0);
    EXPECT_EQ(koru::settings::FixedText(store_.radio.entries[0].label), "한국");
    EXPECT_EQ(store_.radio.entries[0].kind, 1);
    EXPECT_EQ(store_.data.entries[0].kind, 2);
    EXPECT_EQ(store_.data.entries[0].subch_id, 0);  // out of the 16-bit range: default
    EXPECT_EQ(store_.data.entries[0].freq, 0.0f);   // not a number: default
    EXPECT_EQ(store_.current_tv, 1);
    EXPECT_EQ(store_.current_radio, 2);
    EXPECT_EQ(store_.current_data, 3);
    EXPECT_EQ(file_->volume(), 30);
    EXPECT_FALSE(file_->car());  // only the exact text "true"

    // mute="true" is not applied: the next save writes the player's own state.
    file_->SetAudioStateSource([] { return koru::settings::AudioState{12, false}; });
    const std::string saved = file_->SettingsDocument();
    EXPECT_NE(saved.find(R"(volume="12" mute="false")"), std::string::npos) << saved;
}

TEST_F(SettingsTest, WrittenDocumentHasTheExactStructure) {
    store_.watch_kind = koru::settings::kWatchKindTv;
    store_.current_tv = 1;
    store_.current_radio = 2;
    store_.current_data = 3;
    store_.language = 1;
    store_.frequency_region = 3;
    ChannelEntry tv;
    koru::settings::SetFixedText(tv.label, "SBS <&\">");
    tv.freq = 175.28f;
    tv.subch_id = 2;
    store_.tv.Append(tv);
    ChannelEntry radio;
    koru::settings::SetFixedText(radio.label, "R");
    radio.freq = 208.736f;
    radio.subch_id = 7;
    store_.radio.Append(radio);
    ChannelEntry data;
    data.freq = 181;
    store_.data.Append(data);
    store_.reservations[0].kind = 0;
    store_.reservations[0].index = 4;
    koru::settings::SetFixedText(store_.reservations[0].channel, "SBS");
    koru::settings::SetFixedText(store_.reservations[0].start, "20240105-09:30");
    koru::settings::SetFixedText(store_.reservations[0].end, "20240105-10:00");
    store_.reservations[1].kind = 2;  // neither TV nor radio: no type
    store_.reservations[1].index = 40000;
    store_.reservation_count = 2;
    for (int i = 0; i < koru::settings::kWorkingFolderCount; ++i) {
        file_->set_path(static_cast<koru::settings::WorkingFolderIndex>(i),
                        "/f" + std::to_string(i));
    }
    file_->set_car(true);
    file_->set_region_x(-5);
    file_->set_region_y(7);
    file_->set_timeshift(2);
    file_->SetAudioStateSource([] { return koru::settings::AudioState{-3, true}; });

    EXPECT_EQ(
        file_->SettingsDocument(),
        "<?xml version=\"1.0\"?>"
        "<Velmar ver=\"1.0\">"
        "<WatchInfo type=\"tv\" channel=\"1\" volume=\"-3\" mute=\"true\" radioch=\"2\" "
        "car=\"true\" datach=\"3\"/>"
        "<Channel type=\"tv\" subch_id=\"2\" freq=\"175.28\" label=\"SBS &lt;&amp;&quot;>\"/>"
        "<Channel type=\"radio\" subch_id=\"7\" freq=\"208.736\" label=\"R\"/>"
        "<Channel type=\"data\" subch_id=\"0\" freq=\"181\" label=\"\"/>"
        "<Path capture=\"/f0\" video=\"/f1\" audio=\"/f2\" timeshift=\"/f3\" DataService=\"/f4\"/>"
        "<Window topmost=\"false\" ratio=\"1\" language=\"1\" freqlocal=\"3\" timeshift=\"2\" "
        "timeshiftonoff=\"1\"/>"
        "<Skin file=\"Koru Digital.lay\"/>"
        "<RegionPos regionX=\"0\" regionY=\"7\"/>"
        "<RECData type=\"tv\" index=\"4\" channel=\"SBS\" start=\"20240105-09:30\" "
        "end=\"20240105-10:00\"/>"
        "<RECData index=\"32767\" channel=\"\" start=\"\" end=\"\"/>"
        "</Velmar>");
    EXPECT_EQ(file_->region_x(), 0);  // the negative value is set to 0 in memory too
    // Other WatchKinds leave `type` out.
    store_.watch_kind = 0;
    EXPECT_NE(file_->SettingsDocument().find("<WatchInfo channel="), std::string::npos);
}

TEST_F(SettingsTest, FullStoreSurvivesASaveAndLoad) {
    const char* kinds[] = {"TV", "Radio", "Data"};
    koru::settings::ChannelList* lists[] = {&store_.tv, &store_.radio, &store_.data};
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < koru::settings::kMaxChannels; ++i) {
            ChannelEntry entry;
            entry.kind = k;
            entry.subch_id = i % 64;
            entry.freq = 174.928f + 0.001f * float(i * 3 + k);
            koru::settings::SetFixedText(entry.label,
                                         "채널 " + std::string(kinds[k]) + " " + std::to_string(i));
            ASSERT_TRUE(lists[k]->Append(entry));
        }
        EXPECT_FALSE(lists[k]->Append(ChannelEntry()));  // a list holds 100
    }
    for (int i = 0; i < koru::settings::kMaxReservations; ++i) {
        auto& reservation = store_.reservations[static_cast<size_t>(i)];
        reservation.kind = i % 2;
        reservation.index = i;
        koru::settings::SetFixedText(reservation.channel, "예약 " + std::to_string(i));
        koru::settings::SetFixedText(reservation.start,
                                     "2024" + std::to_string(1000 + i) + "-09:30");
        koru::settings::SetFixedText(reservation.end, "2024" + std::to_string(1000 + i) + "-10:45");
    }
    store_.reservation_count = koru::settings::kMaxReservations;
    store_.watch_kind = koru::settings::kWatchKindData;
    store_.current_tv = 99;
    store_.current_radio = 50;
    store_.current_data = 7;
    store_.language = 1;
    store_.frequency_region = 5;
    file_->set_topmost(true);
    file_->set_car(true);
    file_->set_ratio(0);
    file_->set_timeshiftonoff(0);
    file_->set_timeshift(3);
    file_->set_volume(77);
    file_->set_region_x(160);
    file_->set_region_y(120);
    file_->set_skin_file("다른 스킨.lay");
    for (int i = 0; i < koru::settings::kWorkingFolderCount; ++i) {
        file_->set_path(static_cast<koru::settings::WorkingFolderIndex>(i),
                        (home_ / ("폴더 " + std::to_string(i))).string());
    }
    ASSERT_TRUE(file_->SaveSettings());

    ChannelStore loaded;
    auto reader = MakeFile(loaded);
    ASSERT_TRUE(reader->LoadSettings());
    for (int k = 0; k < 3; ++k) {
        const koru::settings::ChannelList* list[] = {&loaded.tv, &loaded.radio, &loaded.data};
        ASSERT_EQ(list[k]->count, 100);
        for (int i = 0; i < 100; ++i) {
            const ChannelEntry& a = lists[k]->entries[size_t(i)];
            const ChannelEntry& b = list[k]->entries[size_t(i)];
            EXPECT_EQ(koru::settings::FixedText(a.label), koru::settings::FixedText(b.label));
            EXPECT_EQ(a.freq, b.freq) << k << " " << i;  // the float itself, not a rounding
            EXPECT_EQ(a.subch_id, b.subch_id);
            EXPECT_EQ(a.kind, b.kind);
        }
    }
    ASSERT_EQ(loaded.reservation_count, 100);
    for (int i = 0; i < 100; ++i) {
        const auto& a = store_.reservations[size_t(i)];
        const auto& b = loaded.reservations[size_t(i)];
        EXPECT_EQ(a.kind, b.kind);
        EXPECT_EQ(a.index, b.index);
        EXPECT_EQ(koru::settings::FixedText(a.channel), koru::settings::FixedText(b.channel));
        EXPECT_EQ(koru::settings::FixedText(a.start), koru::settings::FixedText(b.start));
        EXPECT_EQ(koru::settings::FixedText(a.end), koru::settings::FixedText(b.end));
    }
    EXPECT_EQ(loaded.watch_kind, koru::settings::kWatchKindData);
    EXPECT_EQ(loaded.current_tv, 99);
    EXPECT_EQ(loaded.current_radio, 50);
    EXPECT_EQ(loaded.current_data, 7);
    EXPECT_EQ(loaded.language, 1);
    EXPECT_EQ(loaded.frequency_region, 5);
    EXPECT_EQ(loaded.channels_available, 1);
    EXPECT_TRUE(reader->topmost());
    EXPECT_TRUE(reader->car());
    EXPECT_EQ(reader->ratio(), 0);
    EXPECT_EQ(reader->timeshiftonoff(), 0);
    EXPECT_EQ(reader->timeshift(), 3);
    EXPECT_EQ(reader->volume(), 77);
    EXPECT_EQ(reader->region_x(), 160);
    EXPECT_EQ(reader->region_y(), 120);
    EXPECT_EQ(reader->skin_file(), "다른 스킨.lay");
    for (int i = 0; i < koru::settings::kWorkingFolderCount; ++i) {
        auto folder = static_cast<koru::settings::WorkingFolderIndex>(i);
        EXPECT_EQ(reader->path(folder), file_->path(folder));
    }
    // A given path is used as it stands, without creating it.
    EXPECT_FALSE(std::filesystem::exists(file_->path(koru::settings::kAudioFolder)));
    // Saving what was loaded writes the same file again.
    const std::string first = ReadFile(ChannelFile());
    ASSERT_TRUE(reader->SaveSettings());
    EXPECT_EQ(ReadFile(ChannelFile()), first);
}

TEST_F(SettingsTest, OverlongListsAndTextsAreCutToTheirFields) {
    std::string document = "<Velmar>";
    for (int i = 0; i < 130; ++i)
        document += "<Channel type=\"radio\" label=\"r" + std::to_string(i) + "\"/>";
    for (int i = 0; i < 120; ++i)
        document += "<RECData type=\"radio\" index=\"" + std::to_string(i) + "\"/>";
    // 40 bytes of text: the label field keeps 31, cut before a three-byte character.
    document += "<Channel type=\"tv\" label=\"abcdefghijklmnopqrstuvwxyz1234채널\"/>";
    document += "<RECData start=\"2024010112-12:00:00\"/></Velmar>";
    ASSERT_TRUE(file_->LoadSettingsFromText(document));
    EXPECT_EQ(store_.radio.count, 100);
    EXPECT_EQ(koru::settings::FixedText(store_.radio.entries[99].label), "r99");
    EXPECT_EQ(store_.reservation_count, 100);
    EXPECT_EQ(koru::settings::FixedText(store_.tv.entries[0].label),
              "abcdefghijklmnopqrstuvwxyz1234");
    EXPECT_EQ(store_.reservations[99].index, 99);
}

TEST_F(SettingsTest, MissingReservationTypeKeepsTheSlotsKind) {
    store_.reservations[0].kind = 1;
    store_.reservations[1].kind = 1;
    ASSERT_TRUE(file_->LoadSettingsFromText(
        R"(<Velmar><RECData/><RECData type="tv" index="2"/></Velmar>)"));
    EXPECT_EQ(store_.reservations[0].kind, 1);
    EXPECT_EQ(store_.reservations[0].index, -1);
    EXPECT_EQ(store_.reservations[1].kind, 0);
    EXPECT_EQ(store_.reservations[1].index, 2);
    EXPECT_EQ(store_.reservation_count, 2);
}

TEST_F(SettingsTest, PathElementFillsOnlyTheMissingFolders) {
    ASSERT_TRUE(Load(
        R"(<Velmar><Path capture="/nowhere/cap" video="" timeshift="/nowhere/ts"/></Velmar>)"));
    EXPECT_EQ(file_->path(koru::settings::kCaptureFolder), "/nowhere/cap");
    EXPECT_EQ(file_->path(koru::settings::kVideoFolder), (Documents() / "video").string());
    EXPECT_EQ(file_->path(koru::settings::kAudioFolder), (Documents() / "audio").string());
    EXPECT_TRUE(std::filesystem::is_directory(Documents() / "video"));
    EXPECT_TRUE(std::filesystem::is_directory(Documents() / "DataService"));
    EXPECT_FALSE(std::filesystem::exists(Documents() / "capture"));
    EXPECT_FALSE(std::filesystem::exists("/nowhere"));
}

// A save killed while it writes its temporary file leaves the old file whole.
TEST_F(SettingsTest, SaveInterruptedAfterTheTemporaryFileKeepsTheOldFile) {
    ChannelEntry entry;
    koru::settings::SetFixedText(entry.label, "old");
    store_.tv.Append(entry);
    ASSERT_TRUE(file_->SaveSettings());
    const std::string old_file = ReadFile(ChannelFile());

    for (int i = 0; i < 99; ++i)
        store_.tv.Append(entry);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The kernel stops the process once its write passes 512 bytes, as a crash or a full
        // disk would stop it in the middle of the new file.
        struct rlimit limit = {512, 512};
        setrlimit(RLIMIT_FSIZE, &limit);
        file_->SaveSettings();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);

    EXPECT_EQ(ReadFile(ChannelFile()), old_file);
    ChannelStore loaded;
    ASSERT_TRUE(MakeFile(loaded)->LoadSettings());
    EXPECT_EQ(loaded.tv.count, 1);
    // The next save goes through, beside the temporary file left behind.
    ASSERT_TRUE(file_->SaveSettings());
    ASSERT_TRUE(MakeFile(loaded)->LoadSettings());
    EXPECT_EQ(loaded.tv.count, 100);
}

TEST_F(SettingsTest, FailedSaveReportsAndKeepsTheOldFile) {
    ASSERT_TRUE(file_->SaveSettings());
    const std::string old_file = ReadFile(ChannelFile());
    EM_XmlFile nowhere(store_, (home_ / "missing/folder/channel.xml").string());
    EXPECT_FALSE(nowhere.SaveSettings());
    EXPECT_EQ(ReadFile(ChannelFile()), old_file);
}

TEST_F(SettingsTest, EnsureFolderCreatesParentsAndAcceptsExistingFolders) {
    const std::string nested = (home_ / "a/b/c").string();
    EXPECT_TRUE(file_->EnsureFolder(nested));
    EXPECT_TRUE(std::filesystem::is_directory(nested));
    EXPECT_TRUE(file_->EnsureFolder(nested + "/"));
    EXPECT_TRUE(log_.empty());  // an existing plain folder: nothing to create or log
    // A folder reached through a link, or a read-only one, goes through creation, which finds
    // it there.
    std::filesystem::create_directory_symlink(nested, home_ / "link");
    EXPECT_TRUE(file_->EnsureFolder((home_ / "link").string()));
    EXPECT_TRUE(Logged("ERROR_ALREADY_EXISTS", 0));
    EXPECT_TRUE(Logged("ERROR_ALREADY_EXISTS", 1));
    chmod(nested.c_str(), 0555);
    log_.clear();
    EXPECT_TRUE(file_->EnsureFolder(nested));
    EXPECT_TRUE(Logged("ERROR_ALREADY_EXISTS", 0));
    chmod(nested.c_str(), 0755);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsTest, EnsureFolderFailuresShowTheMessageInTheCurrentLanguage) {
    WriteFile(home_ / "file", "x");
    EXPECT_FALSE(file_->EnsureFolder((home_ / "file").string()));
    EXPECT_TRUE(Logged("ERROR_FILE_EXISTS", 0));
    EXPECT_TRUE(Logged("ERROR_FILE_EXISTS", 1));
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], std::string("|") + EM_XmlFile::kFolderErrorKo);

    store_.language = 1;
    EXPECT_FALSE(file_->EnsureFolder((home_ / "file/below").string()));
    EXPECT_TRUE(Logged("ERROR_PATH_NOT_FOUND", 0));
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1],
              "|Impossible to create the folder.\n\nPlease check the name and path of the folder.");

    EXPECT_FALSE(file_->EnsureFolder(""));
    EXPECT_FALSE(file_->EnsureFolder("relative/folder"));
    EXPECT_TRUE(Logged("ERROR_BAD_PATHNAME", 0));
    EXPECT_FALSE(std::filesystem::exists("relative"));
    EXPECT_FALSE(file_->EnsureFolder((home_ / std::string(300, 'n')).string()));
    EXPECT_EQ(messages_.size(), 5u);
}

}  // namespace

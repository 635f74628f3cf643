// Packet mode, data groups and MOT objects: packets cut from a sub-channel's bytes, data-group
// segments joined, MOT headers, bodies and directories written and reported. The data is made
// with the DAB toolkit's writers; the independent recording's slideshow data groups are read too.
#include "rxmod/packet/packet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dab/charset.h"
#include "dab/eti.h"
#include "dab/gzip.h"
#include "dab/mot.h"
#include "dab/mpa.h"
#include "dab/msc_data_group.h"
#include "dab/packet.h"
#include "dab/xpad.h"
#include "m4systems/messages.h"
#include "m4systems/terminal.h"
#include "rxmod/rxmod_api.h"
#include "rxmod_fixture.h"
#include "support/environment.h"

namespace koru::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kAddress = 5;
constexpr uint16_t kOtherAddress = 9;
constexpr size_t kFrameBytes = 144;  // a 48 kbit/s sub-channel's bytes per 24 ms

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Pattern(size_t n, int seed) {
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>((i * 7 + static_cast<size_t>(seed)) & 0xFF);
    return bytes;
}

dab::MotObject Object(uint16_t transport_id, const std::string& name, Bytes body) {
    dab::MotObject object;
    object.transport_id = transport_id;
    object.header.content_type = dab::kMotText;
    object.header.SetContentName(name);
    object.body = std::move(body);
    object.header.body_size = static_cast<uint32_t>(object.body.size());
    return object;
}

dab::MotObject GzipObject(uint16_t transport_id, const std::string& name, const Bytes& plain) {
    dab::MotObject object = Object(transport_id, name, dab::GzipCompress(plain));
    object.header.parameters.push_back({dab::kMotCompressionType, {dab::kMotCompressionGzip}});
    return object;
}

// A packet-mode sub-channel on the air: data groups of several addresses cut into packets.
class Channel {
  public:
    void Send(uint16_t address, const Bytes& data_group) {
        auto found = writers_.try_emplace(address, address).first;
        for (const Bytes& packet : found->second.Packetize(data_group))
            Append(packet);
    }
    void Send(uint16_t address, const dab::MscDataGroup& group) {
        Send(address, dab::BuildMscDataGroup(group));
    }
    void SendObject(uint16_t address, const dab::MotObject& object, size_t segment_size = 1024) {
        dab::MotEncoder encoder(segment_size);
        for (const dab::MscDataGroup& group : encoder.EncodeObject(object))
            Send(address, group);
    }
    void Pad(int packets) {
        for (int i = 0; i < packets; ++i)
            Append(dab::PaddingPacket(24));
    }
    void Append(const Bytes& bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
    Bytes& bytes() { return bytes_; }

  private:
    std::map<uint16_t, dab::PacketWriter> writers_;
    Bytes bytes_;
};

// Directory messages sent through M4T_SendMessage (no terminal in this process), and whether
// the start page they name was there when each was sent.
struct DirectoryMessages {
    std::mutex mutex;
    std::vector<std::pair<const char*, M4Param>> sent;
    std::vector<bool> page_there;
    static void Hook(void* user, uint32_t code, M4Param wparam, M4Param lparam) {
        auto* self = static_cast<DirectoryMessages*>(user);
        if (code != WM_SYSTEM_MOT_DIR_TIME) return;
        std::lock_guard lock(self->mutex);
        const char* path = reinterpret_cast<const char*>(wparam);
        self->sent.emplace_back(path, lparam);
        self->page_there.push_back(std::filesystem::is_regular_file(path));
    }
};

// A directory-mode carousel: the directory lists every object's header, the bodies follow.
dab::MotDirectory DirectoryOf(const std::vector<dab::MotObject>& objects, uint32_t period = 50) {
    dab::MotDirectory directory;
    directory.carousel_period = period;
    directory.segment_size = 256;
    directory.parameters.push_back({dab::kMotDirectoryIndex, Text("\x01index.htm")});
    for (dab::MotObject entry : objects) {
        entry.body.clear();
        directory.entries.push_back(std::move(entry));
    }
    return directory;
}

// An object whose ContentName is given as raw bytes in a character set.
dab::MotObject NamedObject(uint16_t transport_id, uint8_t charset, const std::string& name,
                           Bytes body) {
    dab::MotObject object = Object(transport_id, "x", std::move(body));
    Bytes data{static_cast<uint8_t>(charset << 4)};
    data.insert(data.end(), name.begin(), name.end());
    object.header.parameters = {{dab::kMotContentName, data}};
    return object;
}

class PacketTest : public RxmodTest {
  protected:
    void SetUp() override {
        RxmodTest::SetUp();
        body_ = folder() / "mot";
        std::filesystem::create_directories(body_);
        prefix_ = body_.string() + "/";
        ASSERT_EQ(SetMOTBodyPath(prefix_.c_str()), static_cast<int32_t>(prefix_.size() + 1));
        context_ = NewBBContext();
        M4_SetMessageHook(&DirectoryMessages::Hook, &directories_);
    }
    void TearDown() override {
        M4_SetMessageHook(nullptr, nullptr);
        DeleteBBContext(context_);
        SetMOTBodyPath("");
        RxmodTest::TearDown();
    }

    // The sub-channel's bytes, as the stick hands them out frame by frame.
    void Receive(const Bytes& bytes, uint16_t dscty = kMotDscty) {
        for (size_t at = 0; at < bytes.size(); at += kFrameBytes) {
            const size_t n = std::min(kFrameBytes, bytes.size() - at);
            PKT_DataPath(context_, bytes.data() + at, static_cast<int>(n), kAddress, dscty);
        }
    }

    std::string Written(const std::string& name) const { return ReadFile(body_ / name); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(body_ / name); }
    void SendDirectory(Channel& air, dab::MotEncoder& encoder, const dab::MotDirectory& directory,
                       uint16_t transport_id) {
        for (const dab::MscDataGroup& g : encoder.EncodeDirectory(directory, transport_id))
            air.Send(kAddress, g);
    }
    void SendBodies(Channel& air, dab::MotEncoder& encoder,
                    const std::vector<dab::MotObject>& objects) {
        for (const dab::MotObject& object : objects) {
            for (const dab::MscDataGroup& g : encoder.EncodeBody(object))
                air.Send(kAddress, g);
        }
    }
    size_t Count(const std::string& text) const {
        size_t n = 0;
        for (const std::string& line : logs)
            n += line == text ? 1 : 0;
        return n;
    }

    std::filesystem::path body_;
    std::string prefix_;
    DataDecoderContext* context_ = nullptr;
    DirectoryMessages directories_;
};

TEST_F(PacketTest, ObjectsAmongPacketsOfOtherAddressesAreWrittenWhole) {
    const Bytes a = Pattern(3000, 1);
    const Bytes b = Text("second object");
    Channel wanted;
    wanted.SendObject(kAddress, Object(1, "a.bin", a), 1024);  // a body of three segments
    wanted.SendObject(kAddress, Object(2, "b.txt", b));
    // The same sub-channel: packets of another service and padding between the wanted ones.
    Channel air;
    Channel other;
    for (int i = 0; i < 12; ++i)
        other.Send(kOtherAddress, Pattern(150, i));
    size_t other_at = 0;
    const Bytes& mine = wanted.bytes();
    for (size_t at = 0; at < mine.size();) {
        const size_t length = 24 * ((mine[at] >> 6) + 1);
        air.Append(Bytes(mine.begin() + static_cast<long>(at),
                         mine.begin() + static_cast<long>(at + length)));
        at += length;
        if (other_at < other.bytes().size()) {
            const size_t other_length = 24 * ((other.bytes()[other_at] >> 6) + 1);
            air.Append(Bytes(other.bytes().begin() + static_cast<long>(other_at),
                             other.bytes().begin() + static_cast<long>(other_at + other_length)));
            other_at += other_length;
        }
        air.Pad(1);
    }
    air.Pad(12);
    Receive(air.bytes());

    EXPECT_EQ(Written("a.bin"), std::string(a.begin(), a.end()));  // BodySize bytes, no
    EXPECT_EQ(Written("b.txt"), "second object");                  // segmentation headers
    EXPECT_EQ(Count("MOT data is made up. Use this!!"), 2u);
    for (const std::string& line : logs) {
        EXPECT_EQ(line.find("Continuity counter error"), std::string::npos) << line;
        EXPECT_EQ(line.find("Check Sum"), std::string::npos) << line;
    }
}

TEST_F(PacketTest, ThreeSegmentsJoinWithoutTheirSegmentationHeaders) {
    const Bytes body = Pattern(250, 3);
    dab::MotEncoder encoder(100);
    const std::vector<dab::MscDataGroup> groups = encoder.EncodeBody(Object(7, "x", body));
    ASSERT_EQ(groups.size(), 3u);
    DataGroupAssemblerState group;
    std::vector<int> results;
    for (const dab::MscDataGroup& g : groups) {
        const Bytes bytes = dab::BuildMscDataGroup(g);
        results.push_back(PKT_DataGroupStep(group, bytes.data(), bytes.size()));
    }
    EXPECT_EQ(results, (std::vector<int>{PKT_SKIPPED, PKT_SKIPPED, PKT_SUCCESS}));
    EXPECT_EQ(group.object, body);
    EXPECT_EQ(group.type, 4);
    EXPECT_TRUE(group.has_transport_id);
    EXPECT_EQ(group.transport_id, 7);
}

TEST_F(PacketTest, SegmentFaultsOfDataGroups) {
    dab::MotEncoder encoder(100);
    const std::vector<dab::MscDataGroup> groups =
        encoder.EncodeBody(Object(7, "x", Pattern(250, 4)));
    std::vector<Bytes> segments;
    for (const dab::MscDataGroup& g : groups)
        segments.push_back(dab::BuildMscDataGroup(g));
    DataGroupAssemblerState group;
    auto step = [&](const Bytes& bytes) {
        return PKT_DataGroupStep(group, bytes.data(), bytes.size());
    };
    // Joined late: segments before a segment 0 are skipped.
    EXPECT_EQ(step(segments[1]), PKT_SKIPPED);
    EXPECT_EQ(group.state, 0);
    // A missing segment is a continuity fault that keeps what was joined.
    EXPECT_EQ(step(segments[0]), PKT_SKIPPED);
    EXPECT_EQ(step(segments[2]), PKT_CONTINUITY_ERROR);
    EXPECT_EQ(group.last_segment, 0);
    EXPECT_EQ(step(segments[1]), PKT_SKIPPED);
    EXPECT_EQ(step(segments[2]), PKT_SUCCESS);
    // A broken CRC is reported as such.
    Bytes broken = segments[0];
    broken[5] ^= 0x01;
    EXPECT_EQ(step(broken), PKT_CRC_ERROR);
    EXPECT_EQ(step(Bytes{0x40}), PKT_CRC_ERROR);  // a CRC flag and nothing else
    // A segment of another object does not extend this one.
    EXPECT_EQ(step(segments[0]), PKT_SKIPPED);
    const std::vector<dab::MscDataGroup> others =
        dab::MotEncoder(100).EncodeBody(Object(8, "y", Pattern(250, 5)));
    EXPECT_EQ(step(dab::BuildMscDataGroup(others[1])), PKT_SKIPPED);
    EXPECT_EQ(group.state, 0);
}

TEST_F(PacketTest, ABodyOfAnotherTransportIdIsRefusedAndResetsTheDecoder) {
    MotDecoderState mot;
    DataGroupAssemblerState header;
    header.type = 3;
    header.object = dab::BuildMotHeader(Object(1, "one.txt", Text("1")).header);
    header.has_transport_id = true;
    header.transport_id = 1;
    EXPECT_EQ(PKT_MotStep(mot, header), PKT_SKIPPED);
    EXPECT_EQ(mot.transport_id, 1);
    EXPECT_EQ(mot.object_path, prefix_ + "one.txt");
    DataGroupAssemblerState body;
    body.type = 4;
    body.object = Text("1");
    body.has_transport_id = true;
    body.transport_id = 2;
    EXPECT_EQ(PKT_MotStep(mot, body), MOT_ERR_TRANSPORT_ID);

    // On the air: the decoder is reset and the next object comes through.
    Channel air;
    dab::MotObject one = Object(1, "one.txt", Text("first"));
    dab::MotObject two = Object(2, "two.txt", Text("second"));
    dab::MotEncoder encoder;
    for (const auto& g : encoder.EncodeHeader(one))
        air.Send(kAddress, g);
    for (const auto& g : encoder.EncodeBody(two))
        air.Send(kAddress, g);
    air.SendObject(kAddress, two);
    air.Pad(12);
    Receive(air.bytes());
    EXPECT_EQ(Count("MOT_Decoder returns an error(-7)"), 1u);
    EXPECT_FALSE(Exists("one.txt"));
    EXPECT_EQ(Written("two.txt"), "second");
}

TEST_F(PacketTest, ContentNamesMakeFoldersAndStayInsideTheBodyPath) {
    Channel air;
    air.SendObject(kAddress, Object(1, "web/page.htm", Text("page")));
    air.SendObject(kAddress, Object(2, "img\\logo.png", Text("logo")));
    air.SendObject(kAddress, Object(3, "../escaped.txt", Text("no")));
    air.SendObject(kAddress, Object(4, "web/../../escaped2.txt", Text("no")));
    air.SendObject(kAddress, Object(5, "/absolute.txt", Text("no")));
    air.SendObject(kAddress, Object(6, "..", Text("no")));
    air.Pad(12);
    Receive(air.bytes());
    EXPECT_EQ(Written("web/page.htm"), "page");
    EXPECT_EQ(Written("img/logo.png"), "logo");
    EXPECT_FALSE(std::filesystem::exists(folder() / "escaped.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder() / "escaped2.txt"));
    size_t entries = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder())) {
        entries += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(entries, 2u);
    EXPECT_EQ(Count("MOT content name refused: ../escaped.txt"), 1u);
    EXPECT_EQ(Count("MOT content name refused: /absolute.txt"), 1u);

    // No body path: nothing is written anywhere.
    SetMOTBodyPath("");
    Channel later;
    later.SendObject(kAddress, Object(7, "late.txt", Text("late")));
    later.Pad(12);
    Receive(later.bytes());
    EXPECT_FALSE(std::filesystem::exists(folder() / "late.txt"));
    EXPECT_FALSE(Exists("late.txt"));
}

TEST_F(PacketTest, GzipBodiesAreUnpackedWithinALimit) {
    const Bytes page = Text(std::string(5000, 'x') + "<html>compressed</html>");
    Bytes broken = dab::GzipCompress(Text("broken body"));
    broken[broken.size() - 6] ^= 0x40;  // the CRC-32 of the trailer
    dab::MotObject plain = Object(4, "plain.txt", Text("not packed"));
    plain.header.parameters.push_back({dab::kMotCompressionType, {dab::kMotCompressionGzip}});
    dab::MotObject lying = Object(3, "broken.txt", broken);
    lying.header.parameters.push_back({dab::kMotCompressionType, {dab::kMotCompressionGzip}});
    Channel air;
    air.SendObject(kAddress, GzipObject(1, "page.htm", page));
    air.SendObject(kAddress, GzipObject(2, "huge.bin", Bytes(kMaxUnpackedBytes + 1, 0)));
    air.SendObject(kAddress, lying);
    air.SendObject(kAddress, plain);  // flagged but no gzip data: written as it came
    air.Pad(12);
    Receive(air.bytes());
    EXPECT_EQ(Written("page.htm"), std::string(page.begin(), page.end()));
    EXPECT_FALSE(Exists("huge.bin"));
    EXPECT_FALSE(Exists("broken.txt"));
    EXPECT_EQ(Written("plain.txt"), "not packed");
    EXPECT_EQ(Count("MOT_Decoder returns an error(-9)"), 2u);
    bool unzip_logged = false;
    for (const std::string& line : logs)
        unzip_logged |=
            line.rfind("unzip : insize(", 0) == 0 && line.find("outsize(5023)") != line.npos;
    EXPECT_TRUE(unzip_logged);
}

TEST_F(PacketTest, LostSyncCostsTheBufferedInputOnly) {
    Channel air;
    air.Append(Pattern(100, 9));  // bytes that are no packets
    air.SendObject(kAddress, Object(1, "first.txt", Text("first")));
    const size_t damaged_from = air.bytes().size();
    air.SendObject(kAddress, Object(2, "damaged.txt", Pattern(400, 2)));
    air.bytes()[damaged_from + 30] ^= 0xFF;
    air.Pad(20);
    air.SendObject(kAddress, Object(3, "third.txt", Text("third")));
    air.Pad(20);
    Receive(air.bytes());
    EXPECT_EQ(Written("first.txt"), "first");
    EXPECT_FALSE(Exists("damaged.txt"));
    EXPECT_EQ(Written("third.txt"), "third");
    bool crc_logged = false;
    for (const std::string& line : logs)
        crc_logged |= line.rfind("Check Sum is not matched: ", 0) == 0;
    EXPECT_TRUE(crc_logged);

    // A lost packet of the wanted address (on a fresh stream): a continuity fault.
    DeleteBBContext(context_);
    context_ = NewBBContext();
    Channel gap;
    dab::PacketWriter writer(kAddress);
    std::vector<Bytes> cut = writer.Packetize(Pattern(600, 1));
    cut.erase(cut.begin() + 1);
    for (const Bytes& p : cut)
        gap.Append(p);
    Receive(gap.bytes());
    EXPECT_EQ(Count("Continuity counter error: current=0,received=2"), 1u);
}

TEST_F(PacketTest, OtherDataServicesAreAssembledButNotDecoded) {
    M4_SetLogLevel(3);
    Channel air;
    dab::MscDataGroup group;
    group.data = Text("TPEG frame");
    for (int i = 0; i < 6; ++i)
        air.Send(kAddress, group);
    air.Pad(12);
    Receive(air.bytes(), 5);
    EXPECT_EQ(Count("TDC Packet Made. OK!!"), 6u);
    EXPECT_TRUE(std::filesystem::is_empty(body_));
}

TEST_F(PacketTest, ADirectoryReportsItsStartPageAndCarouselPeriod) {
    auto directory_with = [](const std::string& page, uint32_t period) {
        dab::MotDirectory directory;
        directory.carousel_period = period;
        directory.segment_size = 1024;
        directory.parameters.push_back({dab::kMotDirectoryIndex, Text("\x01" + page)});
        directory.entries.push_back(Object(1, page, {}));
        return directory;
    };
    Channel air;
    dab::MotEncoder encoder;
    for (int i = 0; i <= kMotDirectoryPaths; ++i) {
        const std::string page = "page" + std::to_string(i) + ".htm";
        for (const auto& g : encoder.EncodeDirectory(directory_with(page, 120 + i), 9))
            air.Send(kAddress, g);
    }
    air.Pad(12);
    Receive(air.bytes());
    std::lock_guard lock(directories_.mutex);
    const auto& sent = directories_.sent;
    ASSERT_EQ(sent.size(), static_cast<size_t>(kMotDirectoryPaths + 1));
    EXPECT_EQ(sent[1].second, 121);
    // Each message's text stays as it was until 16 further directories came.
    for (int i = 0; i < kMotDirectoryPaths; ++i) {
        EXPECT_EQ(std::string(sent[static_cast<size_t>(i)].first),
                  prefix_ + (i == 0 ? "page16.htm" : "page" + std::to_string(i) + ".htm"));
    }
    EXPECT_EQ(sent[kMotDirectoryPaths].first, sent[0].first);
}

// Directory mode, as broadcast websites are sent: no headers, the directory carries them.
// Bodies that come before the directory wait for it; repetitions leave the files alone; a
// changed directory under a new transport id brings the new set.
TEST_F(PacketTest, ADirectoryModeCarouselIsWrittenOnceWhateverTheOrder) {
    const Bytes page = Text("<html>" + std::string(900, 'w') + "</html>");
    const Bytes logo = Pattern(3000, 6);
    std::vector<dab::MotObject> site{GzipObject(1, "index.htm", page),
                                     Object(2, "web/style.css", Text("body{}")),
                                     Object(3, "img/logo.png", logo)};
    dab::MotEncoder encoder(256);  // bodies and directory in several segments
    Channel air;
    // Joined late: two bodies, then the directory, then the last body; then a whole cycle.
    SendBodies(air, encoder, {site[1], site[2]});
    SendDirectory(air, encoder, DirectoryOf(site), 100);
    SendBodies(air, encoder, {site[0]});
    SendDirectory(air, encoder, DirectoryOf(site), 100);
    SendBodies(air, encoder, site);
    air.Pad(12);
    Receive(air.bytes());

    EXPECT_EQ(Written("index.htm"), std::string(page.begin(), page.end()));
    EXPECT_EQ(Written("web/style.css"), "body{}");
    EXPECT_EQ(Written("img/logo.png"), std::string(logo.begin(), logo.end()));
    EXPECT_EQ(Count("MOT data is made up. Use this!!"), 3u);  // each object written once
    EXPECT_EQ(Count("MOT object 1 unchanged") + Count("MOT object 2 unchanged") +
                  Count("MOT object 3 unchanged"),
              3u);
    for (const std::string& line : logs)
        EXPECT_EQ(line.find("MOT_Decoder returns an error"), std::string::npos) << line;
    {
        // Every directory is reported, and once more when the last of its objects is written:
        // the start page is there from that message on.
        std::lock_guard lock(directories_.mutex);
        ASSERT_EQ(directories_.sent.size(), 3u);
        EXPECT_EQ(std::string(directories_.sent[1].first), prefix_ + "index.htm");
        EXPECT_EQ(directories_.sent[1].second, 50);
        EXPECT_EQ(directories_.page_there, (std::vector<bool>{false, true, true}));
        directories_.sent.clear();
        directories_.page_there.clear();
    }

    // The next edition: a new directory transport id, the start page changed, a new object, two
    // dropped. Its bodies come before and after it.
    const Bytes news = Text("<p>news</p>");
    const std::vector<dab::MotObject> edition{Object(1, "index.htm", Text("<html>2</html>")),
                                              Object(4, "news.htm", news)};
    Channel next;
    SendBodies(next, encoder, {edition[1]});
    SendDirectory(next, encoder, DirectoryOf(edition, 70), 101);
    SendBodies(next, encoder, edition);
    next.Pad(12);
    Receive(next.bytes());
    EXPECT_EQ(Written("index.htm"), "<html>2</html>");
    EXPECT_EQ(Written("news.htm"), "<p>news</p>");
    EXPECT_EQ(Written("web/style.css"), "body{}");  // files of the old set stay
    std::lock_guard lock(directories_.mutex);
    ASSERT_EQ(directories_.sent.size(), 2u);
    EXPECT_EQ(directories_.sent[1].second, 70);
    EXPECT_EQ(directories_.page_there, (std::vector<bool>{true, true}));
}

TEST_F(PacketTest, ContentNamesInEveryCharacterSetBecomeUtf8FileNames) {
    const std::vector<dab::MotObject> site{
        NamedObject(1, dab::kCharsetLatin1, "caf\xe9.htm", Text("latin-1")),
        NamedObject(2, dab::kCharsetUtf8, "\xed\x95\x9c\xea\xb8\x80/\xec\x95\x88.htm",
                    Text("utf-8")),
        // EBU Latin: 0x5C is a letter of the set, but separates folders like "/".
        NamedObject(3, dab::kCharsetEbuLatin, "dir\\\x82t\x82.txt", Text("ebu")),
        NamedObject(4, dab::kCharsetEbuLatin, std::string("nul\0.txt", 7), Text("no")),
        NamedObject(5, dab::kCharsetUtf8, "../out.htm", Text("no"))};
    dab::MotEncoder encoder;
    Channel air;
    SendDirectory(air, encoder, DirectoryOf(site), 7);
    SendBodies(air, encoder, site);
    air.Pad(12);
    Receive(air.bytes());
    EXPECT_EQ(Written("caf\u00e9.htm"), "latin-1");
    EXPECT_EQ(Written("\ud55c\uae00/\uc548.htm"), "utf-8");
    EXPECT_EQ(Written("dir/\u00e9t\u00e9.txt"), "ebu");
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder()))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 3u);
    EXPECT_EQ(Count("MOT content name refused: ../out.htm"), 1u);
}

// A directory whose size or object count lies is refused; bodies of another size than their
// entry are refused; what waits for a directory is bounded.
TEST_F(PacketTest, LyingDirectoriesAreRefusedAndWaitingBodiesAreBounded) {
    const std::vector<dab::MotObject> site{Object(1, "a.txt", Text("aaa")),
                                           Object(2, "b.txt", Text("bbb"))};
    MotDecoderState mot;
    auto step = [&](int type, uint16_t transport_id, Bytes bytes) {
        DataGroupAssemblerState entity;
        entity.type = type;
        entity.has_transport_id = true;
        entity.transport_id = transport_id;
        entity.object = std::move(bytes);
        return PKT_MotStep(mot, entity);
    };
    const Bytes directory = dab::BuildMotDirectory(DirectoryOf(site));
    Bytes longer = directory;
    longer[3] += 1;  // DirectorySize one more than the bytes
    Bytes more = directory;
    more[5] = 3;  // three objects, two entries
    Bytes fewer = directory;
    fewer[5] = 1;  // one object, bytes for two
    EXPECT_EQ(step(6, 9, longer), MOT_ERR_DIRECTORY);
    EXPECT_EQ(step(6, 9, more), MOT_ERR_DIRECTORY);
    EXPECT_EQ(step(6, 9, fewer), MOT_ERR_DIRECTORY);
    EXPECT_EQ(step(6, 9, Bytes(5, 0)), MOT_ERR_DIRECTORY);
    const std::string rejected =
        "MOT directory of " + std::to_string(directory.size()) + " bytes rejected: ";
    EXPECT_EQ(Count(rejected + "DirectorySize is not its length"), 1u);
    EXPECT_EQ(Count(rejected + "NumberOfObjects does not match its entries"), 2u);
    EXPECT_TRUE(mot.carousel.entries.empty());

    // Bodies held for a directory: at most kMaxHeldBodyBytes, the oldest dropped first.
    const size_t size = kMaxHeldBodyBytes / 4;
    std::vector<dab::MotObject> big;
    for (uint16_t tid = 10; tid < 15; ++tid) {
        big.push_back(Object(tid, "big" + std::to_string(tid), Pattern(size, tid)));
        EXPECT_EQ(step(4, tid, big.back().body), PKT_SKIPPED);
    }
    EXPECT_EQ(mot.carousel.held.size(), 4u);
    EXPECT_LE(mot.carousel.held_bytes, kMaxHeldBodyBytes);
    EXPECT_EQ(Count("MOT body 10 dropped: no directory came for it"), 1u);
    EXPECT_EQ(step(6, 9, dab::BuildMotDirectory(DirectoryOf(big))), PKT_SKIPPED);
    EXPECT_FALSE(Exists("big10"));
    for (uint16_t tid = 11; tid < 15; ++tid)
        EXPECT_EQ(std::filesystem::file_size(body_ / ("big" + std::to_string(tid))), size);
    EXPECT_TRUE(mot.carousel.held.empty());
    EXPECT_EQ(mot.carousel.held_bytes, 0u);

    EXPECT_EQ(step(6, 8, directory), PKT_SKIPPED);
    EXPECT_EQ(step(4, 1, Text("aaaa")), MOT_ERR_BODY_SIZE);  // the entry says 3 bytes
    EXPECT_FALSE(Exists("a.txt"));
    EXPECT_EQ(step(4, 1, Text("aaa")), PKT_SUCCESS);
    EXPECT_EQ(step(4, 1, Text("aaa")), PKT_SKIPPED);  // the same bytes again
    EXPECT_EQ(Written("a.txt"), "aaa");
}

TEST_F(PacketTest, TheBodyPathIsKeptWhenALongerOneIsOffered) {
    const std::string long_path(kMaxPathLength + 1, 'a');
    EXPECT_EQ(SetMOTBodyPath(long_path.c_str()), 0);
    EXPECT_EQ(SetMOTBodyPath(nullptr), 0);
    EXPECT_EQ(PKT_BodyPath(), prefix_);
    // A name that would make the path too long is refused, not cut.
    const std::string name(kMaxPathLength - prefix_.size() + 1, 'n');
    EXPECT_EQ(PKT_ObjectPath(reinterpret_cast<const uint8_t*>(name.data()), name.size()), "");
    EXPECT_EQ(PKT_ObjectPath(reinterpret_cast<const uint8_t*>(name.data()), name.size() - 1),
              prefix_ + name.substr(1));
}

// The slideshow of the independent recording: its X-PAD MOT data groups through the same
// data-group and MOT steps as packet mode.
TEST_F(PacketTest, TheReferenceSlideshowIsWrittenAsSent) {
    if (ReferenceEti().empty()) GTEST_SKIP() << "the reference recording is not there";
    auto reader = dab::EtiReader::Open(ReferenceEti());
    ASSERT_TRUE(reader);
    DataGroupAssemblerState group;
    MotDecoderState mot;
    int written = 0;
    dab::XpadDecoder xpad([&](uint8_t type, Bytes data_group) {
        if (type != dab::kXpadMotStart) return;
        if (PKT_DataGroupStep(group, data_group.data(), data_group.size()) != PKT_SUCCESS) return;
        written += PKT_MotStep(mot, group) == PKT_SUCCESS ? 1 : 0;
    });
    dab::EtiFrame frame;
    while (reader->Next(&frame)) {
        const dab::EtiStream* stream = frame.FindStream(3);
        ASSERT_NE(stream, nullptr);
        const auto header = dab::ParseMpaHeader(stream->data);
        ASSERT_TRUE(header);
        xpad.Feed(dab::XpadAreaOf(stream->data, dab::ScfCrcLength(*header)),
                  dab::FpadOf(stream->data));
    }
    EXPECT_GE(written, 3);
    EXPECT_EQ(Written("0000.jpg"), ReadFile(ReferenceDir() / "slide1_blue.jpg"));
    EXPECT_EQ(Written("0001.jpg"), ReadFile(ReferenceDir() / "slide2_red.jpg"));
}

}  // namespace
}  // namespace koru::test

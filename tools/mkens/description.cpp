#include "tools/mkens/description.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "dab/charset.h"
#include "dab/outer_code.h"

namespace koru::mkens {
namespace {

constexpr int kMpegLayer2Rates[] = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};

std::string Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return "";
    const size_t last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<long long> ParseNumber(const std::string& text) {
    long long value = 0;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (hex ? 2 : 0);
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(begin, end, value, hex ? 16 : 10);
    if (ec != std::errc() || ptr != end || begin == end) return std::nullopt;
    return value;
}

// Splits a value into words; "double quotes" keep spaces inside one word.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word.push_back(c);
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

class Parser {
  public:
    Parser(std::string_view name, const std::filesystem::path& folder) : name_(name) {
        d_.folder = folder;
    }

    bool Parse(std::string_view text);
    bool Check();
    Description Take() { return std::move(d_); }
    std::string error() const { return error_; }

  private:
    bool Fail(int line, const std::string& reason) {
        error_ = name_ + ":" + std::to_string(line) + ": " + reason;
        return false;
    }
    bool Section(const std::string& header);
    bool Key(const std::string& key, const std::string& value);
    bool EnsembleKey(const std::string& key, const std::string& value);
    bool SubchannelKey(SubchannelDescription& s, const std::string& key, const std::string& value);
    bool ServiceKey(ServiceDescription& s, const std::string& key, const std::string& value);
    std::optional<ObjectDescription> Object(const std::string& value, bool slide);
    std::optional<long long> Number(const std::string& value, long long min, long long max);
    // Sets `field` from a number in [min, max]; false (with the error) otherwise.
    bool SetInt(int* field, const std::string& value, long long min, long long max);
    bool CheckLabel(int line, const std::string& label, const std::string& short_label);

    std::string name_;
    Description d_;
    std::string section_;
    int line_ = 0;
    std::string error_;
    double seconds_ = 0;
    std::map<size_t, std::string> protection_text_;  // by sub-channel index
};

bool Parser::Parse(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::string raw;
    while (std::getline(in, raw)) {
        ++line_;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']') return Fail(line_, "section header without ']'");
            if (!Section(Trim(std::string_view(line).substr(1, line.size() - 2)))) return false;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return Fail(line_, "expected key = value");
        if (section_.empty()) return Fail(line_, "key outside a section");
        if (!Key(Lower(Trim(std::string_view(line).substr(0, eq))),
                 Trim(std::string_view(line).substr(eq + 1)))) {
            return false;
        }
    }
    return Check();
}

bool Parser::Section(const std::string& header) {
    const std::vector<std::string> words = Words(header);
    const std::string kind = words.empty() ? "" : Lower(words[0]);
    section_ = kind;
    if (kind == "ensemble" && words.size() == 1) return true;
    if (kind == "subchannel" && words.size() == 2) {
        const auto id = Number(words[1], 0, 63);
        if (!id) return false;
        SubchannelDescription s;
        s.id = static_cast<int>(*id);
        s.line = line_;
        d_.subchannels.push_back(s);
        return true;
    }
    static const std::map<std::string, ServiceKind> kKinds{{"tv", ServiceKind::kTv},
                                                           {"radio", ServiceKind::kRadio},
                                                           {"data", ServiceKind::kData},
                                                           {"tpeg", ServiceKind::kTpeg}};
    if (auto it = kKinds.find(kind); it != kKinds.end() && words.size() == 1) {
        ServiceDescription s;
        s.kind = it->second;
        s.line = line_;
        d_.services.push_back(s);
        return true;
    }
    return Fail(line_, "unknown section [" + header + "]");
}

std::optional<long long> Parser::Number(const std::string& value, long long min, long long max) {
    const std::optional<long long> n = ParseNumber(value);
    if (!n || *n < min || *n > max) {
        Fail(line_, "'" + value + "' is not a number from " + std::to_string(min) + " to " +
                        std::to_string(max));
        return std::nullopt;
    }
    return n;
}

bool Parser::SetInt(int* field, const std::string& value, long long min, long long max) {
    const std::optional<long long> n = Number(value, min, max);
    if (n) *field = static_cast<int>(*n);
    return n.has_value();
}

bool Parser::Key(const std::string& key, const std::string& value) {
    if (section_ == "ensemble") return EnsembleKey(key, value);
    if (section_ == "subchannel") return SubchannelKey(d_.subchannels.back(), key, value);
    return ServiceKey(d_.services.back(), key, value);
}

bool Parser::EnsembleKey(const std::string& key, const std::string& value) {
    if (key == "eid") {
        const auto n = Number(value, 0, 0xFFFF);
        if (!n) return false;
        d_.eid = static_cast<uint16_t>(*n);
    } else if (key == "label") {
        d_.label = value;
    } else if (key == "short") {
        d_.short_label = value;
    } else if (key == "seconds") {
        char* end = nullptr;
        seconds_ = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0' || seconds_ <= 0 || seconds_ > 600) {
            return Fail(line_, "seconds must be a length from 0 to 600");
        }
    } else {
        return Fail(line_, "unknown key '" + key + "' in [ensemble]");
    }
    return true;
}

bool Parser::SubchannelKey(SubchannelDescription& s, const std::string& key,
                           const std::string& value) {
    if (key == "bitrate") {
        return SetInt(&s.bitrate, value, 8, 1728);
    } else if (key == "start") {
        int start = 0;
        if (!SetInt(&start, value, 0, dab::kCapacityUnits - 1)) return false;
        s.start = start;
    } else if (key == "protection") {
        protection_text_[d_.subchannels.size() - 1] = Lower(value);  // resolved in Check()
    } else {
        return Fail(line_, "unknown key '" + key + "' in [subchannel]");
    }
    return true;
}

std::optional<ObjectDescription> Parser::Object(const std::string& value, bool slide) {
    const std::vector<std::string> w = Words(value);
    ObjectDescription o;
    size_t at = 0;
    if (w.empty()) {
        Fail(line_, "empty object");
        return std::nullopt;
    }
    o.name = w[at++];
    const std::string how = slide ? "image" : (at < w.size() ? Lower(w[at++]) : "");
    if (how == "file" && at < w.size()) {
        o.file = w[at++];
    } else if (how == "image" && at < w.size()) {
        PictureDescription image;
        image.source = w[at++];
        if (!slide && at < w.size() && w[at].find('x') != std::string::npos) {
            const std::string size = w[at++];
            const size_t x = size.find('x');
            const auto width = ParseNumber(size.substr(0, x));
            const auto height = ParseNumber(size.substr(x + 1));
            if (!width || !height || *width < 16 || *height < 16 || *width > 1280 ||
                *height > 960) {
                Fail(line_, "picture size '" + size + "' is not WIDTHxHEIGHT");
                return std::nullopt;
            }
            image.width = static_cast<int>(*width);
            image.height = static_cast<int>(*height);
        }
        if (at < w.size() && Lower(w[at]) != "gzip") image.text = w[at++];
        o.image = image;
    } else {
        Fail(line_, slide ? "expected: slide = NAME SOURCE [\"TEXT\"]"
                          : "expected: object = NAME file PATH [gzip] or NAME image SOURCE "
                            "[WxH] [\"TEXT\"] [gzip]");
        return std::nullopt;
    }
    if (at < w.size() && Lower(w[at]) == "gzip") {
        o.gzip = true;
        ++at;
    }
    if (at != w.size()) {
        Fail(line_, "unexpected '" + w[at] + "'");
        return std::nullopt;
    }
    if (o.name.empty() || o.name.size() > 120 || o.name.front() == '/' ||
        o.name.find("..") != std::string::npos) {
        Fail(line_, "object name '" + o.name + "' is not a relative name");
        return std::nullopt;
    }
    return o;
}

bool Parser::ServiceKey(ServiceDescription& s, const std::string& key, const std::string& value) {
    const bool stream = s.kind == ServiceKind::kTv || s.kind == ServiceKind::kRadio;
    const bool packet = !stream;
    if (key == "sid") {
        const auto n = Number(value, 1, 0xFFFFFFFFLL);
        if (!n) return false;
        s.sid = static_cast<uint32_t>(*n);
        s.long_sid = *n > 0xFFFF;
    } else if (key == "label") {
        s.label = value;
    } else if (key == "short") {
        s.short_label = value;
    } else if (key == "subchannel") {
        return SetInt(&s.subchannel, value, 0, 63);
    } else if (key == "tone" && stream) {
        return SetInt(&s.tone, value, 20, 20000);
    } else if (key == "video" && s.kind == ServiceKind::kTv) {
        s.video = value;
    } else if (key == "fps" && s.kind == ServiceKind::kTv) {
        return SetInt(&s.fps, value, 1, 30);
    } else if (key == "gop" && s.kind == ServiceKind::kTv) {
        return SetInt(&s.gop, value, 1, 300);
    } else if (key == "outer" && s.kind == ServiceKind::kTv) {
        const std::string word = Lower(value);
        if (word != "on" && word != "off") return Fail(line_, "outer must be on or off");
        s.outer_code = word == "on";
    } else if (key == "audio_pes" && s.kind == ServiceKind::kTv) {
        const std::string word = Lower(value);
        if (word != "whole" && word != "straddle") {
            return Fail(line_, "audio_pes must be whole or straddle");
        }
        s.straddle_audio = word == "straddle";
    } else if (key == "systems" && s.kind == ServiceKind::kTv) {
        const std::string word = Lower(value);
        if (word != "mpeg2" && word != "mpeg4")
            return Fail(line_, "systems must be mpeg2 or mpeg4");
        s.mpeg4_systems = word == "mpeg4";
    } else if (key == "audio" && s.kind == ServiceKind::kTv) {
        const std::string word = Lower(value);
        if (word != "aac" && word != "bsac") return Fail(line_, "audio must be aac or bsac");
        s.bsac = word == "bsac";
    } else if (key == "mode" && s.kind == ServiceKind::kRadio) {
        s.mode = Lower(value);
        if (s.mode != "stereo" && s.mode != "joint" && s.mode != "mono") {
            return Fail(line_, "mode must be stereo, joint or mono");
        }
    } else if (key == "pad" && s.kind == ServiceKind::kRadio) {
        return SetInt(&s.pad, value, 2, 196);
    } else if (key == "dls" && s.kind == ServiceKind::kRadio) {
        s.dls.push_back(value);
    } else if (key == "dls_seconds" && s.kind == ServiceKind::kRadio) {
        int seconds = 0;
        if (!SetInt(&seconds, value, 1, 600)) return false;
        s.dls_seconds = seconds;
    } else if (key == "slide" && s.kind == ServiceKind::kRadio) {
        auto o = Object(value, true);
        if (!o) return false;
        s.slides.push_back(*o);
    } else if (key == "address" && packet) {
        return SetInt(&s.address, value, 1, 1023);
    } else if (key == "scid" && packet) {
        return SetInt(&s.scid, value, 1, 4095);
    } else if (key == "object" && s.kind == ServiceKind::kData) {
        auto o = Object(value, false);
        if (!o) return false;
        s.objects.push_back(*o);
    } else if (key == "index" && s.kind == ServiceKind::kData) {
        s.index = value;
    } else if (key == "mot" && s.kind == ServiceKind::kData) {
        const std::string mode = Lower(value);
        if (mode != "directory" && mode != "header") {
            return Fail(line_, "mot must be directory or header");
        }
        s.mot_header_mode = mode == "header";
    } else {
        return Fail(line_, std::string("unknown key '") + key + "' in [" + KindName(s.kind) + "]");
    }
    return true;
}

bool Parser::CheckLabel(int line, const std::string& label, const std::string& short_label) {
    if (label.empty()) return Fail(line, "label missing");
    if (!dab::Label::FromUtf8(label, short_label)) {
        return Fail(line, "label '" + label + "' (short '" + short_label +
                              "') is not 16 EBU Latin characters with a short label of 8 "
                              "taken from it");
    }
    return true;
}

bool Parser::Check() {
    if (!CheckLabel(1, d_.label, d_.short_label)) return false;
    if (seconds_ <= 0) return Fail(1, "[ensemble] needs seconds");
    const int blocks = static_cast<int>(std::ceil(seconds_ / kFrameSeconds / kFramesPerBlock));
    d_.frames = std::max(1, blocks) * kFramesPerBlock;

    std::set<int> ids;
    for (size_t i = 0; i < d_.subchannels.size(); ++i) {
        SubchannelDescription& s = d_.subchannels[i];
        const std::string text = protection_text_[i];
        if (!ids.insert(s.id).second) return Fail(s.line, "sub-channel defined twice");
        if (s.bitrate == 0) return Fail(s.line, "sub-channel without bitrate");
        const std::vector<std::string> w = Words(text);
        std::optional<dab::Protection> p;
        if (w.size() == 2 && w[0] == "eep" && w[1].size() == 3 && w[1][1] == '-' &&
            (w[1][2] == 'a' || w[1][2] == 'b')) {
            p = dab::Protection::Eep(w[1][2] == 'a' ? dab::EepOption::kA : dab::EepOption::kB,
                                     w[1][0] - '0', s.bitrate);
        } else if (w.size() == 2 && w[0] == "uep") {
            const auto level = ParseNumber(w[1]);
            const int index = level ? dab::UepTableIndex(s.bitrate, static_cast<int>(*level)) : -1;
            if (index >= 0) p = dab::Protection::Uep(index);
        } else if (w.size() == 3 && w[0] == "uep" && w[1] == "index") {
            const auto index = ParseNumber(w[2]);
            if (index && *index >= 0 && *index < dab::kUepTableSize &&
                dab::UepTableEntry(static_cast<int>(*index))->bitrate_kbps == s.bitrate) {
                p = dab::Protection::Uep(static_cast<int>(*index));
            }
        }
        if (!p) {
            return Fail(s.line, "protection '" + text + "' does not fit " +
                                    std::to_string(s.bitrate) +
                                    " kbit/s (eep 1-a .. 4-b, uep 1..5, uep index N)");
        }
        s.protection = *p;
    }
    std::vector<std::pair<int, int>> used;  // start, end of each sub-channel
    const std::vector<int> starts = PlaceSubchannels(d_);
    for (size_t i = 0; i < d_.subchannels.size(); ++i) {
        const int end = starts[i] + d_.subchannels[i].protection.SizeCu();
        if (end > dab::kCapacityUnits) return Fail(d_.subchannels[i].line, "beyond 864 CUs");
        for (const auto& [s, e] : used) {
            if (starts[i] < e && s < end) return Fail(d_.subchannels[i].line, "overlaps");
        }
        used.emplace_back(starts[i], end);
    }

    std::set<uint32_t> sids;
    std::map<int, ServiceKind> use;  // sub-channel -> kind of its first user
    std::set<std::pair<int, int>> addresses;
    int next_scid = 1;
    for (ServiceDescription& s : d_.services) {
        if (s.sid == 0) return Fail(s.line, "service without sid");
        if (!sids.insert(s.sid).second) return Fail(s.line, "sid used twice");
        if (!CheckLabel(s.line, s.label, s.short_label)) return false;
        const SubchannelDescription* sub = d_.FindSubchannel(s.subchannel);
        if (sub == nullptr) return Fail(s.line, "service without a defined subchannel");
        const bool stream = s.kind == ServiceKind::kTv || s.kind == ServiceKind::kRadio;
        auto [it, first] = use.emplace(s.subchannel, s.kind);
        if (!first &&
            (stream || it->second == ServiceKind::kTv || it->second == ServiceKind::kRadio)) {
            return Fail(s.line, "a stream sub-channel carries one service only");
        }
        if (s.kind == ServiceKind::kTv) {
            const size_t bytes =
                static_cast<size_t>(sub->bitrate) * 3 * static_cast<size_t>(d_.frames);
            if (s.outer_code && bytes % dab::kOuterPacketBytes != 0) {
                return Fail(s.line,
                            "outer-coded TV needs a bit rate that fills whole 204-byte packets "
                            "(a multiple of 136 kbit/s such as 408), or outer = off");
            }
            if (s.bsac && !s.mpeg4_systems)
                return Fail(s.line, "audio = bsac needs systems = mpeg4");
            if (s.straddle_audio && s.mpeg4_systems) {
                return Fail(s.line, "audio_pes = straddle is for systems = mpeg2");
            }
        }
        if (s.kind == ServiceKind::kRadio) {
            const int* rate =
                std::find(std::begin(kMpegLayer2Rates), std::end(kMpegLayer2Rates), sub->bitrate);
            if (rate == std::end(kMpegLayer2Rates)) {
                return Fail(s.line, "no MPEG-1 Layer II bit rate: " + std::to_string(sub->bitrate));
            }
            if ((!s.dls.empty() || !s.slides.empty()) && s.pad < 8) {
                return Fail(s.line, "pad must leave room for X-PAD (at least 8)");
            }
            for (const std::string& text : s.dls) {
                const auto ebu = dab::Utf8ToEbuLatin(text);
                if ((ebu ? ebu->size() : text.size()) > 128) {
                    return Fail(s.line, "dynamic label longer than 128 bytes: " + text);
                }
            }
        }
        if (!stream) {
            if (s.address < 0) return Fail(s.line, "packet-mode service without address");
            if (!addresses.insert({s.subchannel, s.address}).second) {
                return Fail(s.line, "packet address used twice in the sub-channel");
            }
            if (s.scid < 0) s.scid = next_scid;
            next_scid = std::max(next_scid, s.scid) + 1;
        }
        if (s.kind == ServiceKind::kData) {
            if (s.objects.empty()) return Fail(s.line, "data service without objects");
            const bool has_index =
                std::any_of(s.objects.begin(), s.objects.end(),
                            [&](const ObjectDescription& o) { return o.name == s.index; });
            if (!has_index) return Fail(s.line, "index '" + s.index + "' is none of the objects");
        }
    }
    if (d_.services.empty()) return Fail(line_, "no services");
    return true;
}

}  // namespace

const char* KindName(ServiceKind kind) {
    switch (kind) {
        case ServiceKind::kTv:
            return "tv";
        case ServiceKind::kRadio:
            return "radio";
        case ServiceKind::kData:
            return "data";
        case ServiceKind::kTpeg:
            return "tpeg";
    }
    return "?";
}

const SubchannelDescription* Description::FindSubchannel(int id) const {
    for (const SubchannelDescription& s : subchannels) {
        if (s.id == id) return &s;
    }
    return nullptr;
}

std::optional<Description> ParseDescriptionText(std::string_view text,
                                                const std::filesystem::path& folder,
                                                std::string* error, std::string_view name) {
    Parser parser(name.empty() ? "description" : name, folder);
    if (!parser.Parse(text)) {
        if (error) *error = parser.error();
        return std::nullopt;
    }
    return parser.Take();
}

std::optional<Description> ParseDescription(const std::filesystem::path& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot open " + path.string();
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    return ParseDescriptionText(text.str(), path.parent_path(), error, path.string());
}

std::vector<std::filesystem::path> InputFiles(const Description& d,
                                              const std::filesystem::path& description_file) {
    std::vector<std::filesystem::path> files{description_file};
    for (const ServiceDescription& s : d.services) {
        for (const ObjectDescription& o : s.objects) {
            if (!o.file.empty()) files.push_back(d.folder / o.file);
        }
    }
    return files;
}

std::vector<int> PlaceSubchannels(const Description& d) {
    std::vector<int> starts;
    int next = 0;
    for (const SubchannelDescription& s : d.subchannels) {
        const int start = s.start.value_or(next);
        starts.push_back(start);
        next = start + s.protection.SizeCu();
    }
    return starts;
}

dab::Ensemble ToEnsemble(const Description& d) {
    dab::Ensemble e;
    e.eid = d.eid;
    e.label = *dab::Label::FromUtf8(d.label, d.short_label);
    const std::vector<int> starts = PlaceSubchannels(d);
    for (size_t i = 0; i < d.subchannels.size(); ++i) {
        e.subchannels.push_back({static_cast<uint8_t>(d.subchannels[i].id),
                                 static_cast<uint16_t>(starts[i]), d.subchannels[i].protection});
    }
    for (const ServiceDescription& s : d.services) {
        dab::Service service;
        service.sid = s.sid;
        service.long_sid = s.long_sid;
        service.label = *dab::Label::FromUtf8(s.label, s.short_label);
        dab::Component c;
        c.subchannel_id = static_cast<uint8_t>(s.subchannel);
        switch (s.kind) {
            case ServiceKind::kTv:
                c.tmid = dab::kStreamData;
                c.type = dab::kDsctyMpeg2Ts;
                break;
            case ServiceKind::kRadio:
                c.tmid = dab::kStreamAudio;
                c.type = 0;  // MPEG-1 Layer II
                // Slideshow in X-PAD: application type 12, data groups, DSCTy 60 (MOT).
                if (!s.slides.empty())
                    c.user_apps.push_back({dab::kUserAppSlideshow, {0x0C, 0x3C}});
                break;
            case ServiceKind::kData:
                c.tmid = dab::kPacketData;
                c.type = dab::kDsctyMot;
                c.user_apps.push_back({dab::kUserAppWebsite, {0x01}});  // basic profile
                break;
            case ServiceKind::kTpeg:
                c.tmid = dab::kPacketData;
                c.type = dab::kDsctyTdc;
                c.user_apps.push_back({dab::kUserAppTpeg, {}});
                break;
        }
        if (c.tmid == dab::kPacketData) {
            c.scid = static_cast<uint16_t>(s.scid);
            c.packet_address = static_cast<uint16_t>(s.address);
        }
        service.components.push_back(c);
        e.services.push_back(std::move(service));
    }
    return e;
}

}  // namespace koru::mkens

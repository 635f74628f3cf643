// receiver.conf: the emulated stick's identity and the air it listens to.
//   # comment
//   air <frequency in kHz> <ETI-NI file> [level <signal value>]
//   library SiUSBXp | KoruDmbMS
//   firmware <identification text, to the end of the line>
//   hardware-id <0..255> | none
//   baseband PN3030
//   tuner ITD3020 | ITD3010
//   tuner-clock <MHz>
//   acquisition <ms>
//   tolerance <kHz>
//   lock-level <signal value>
//   rx-queue <bytes>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "m4systems/log.h"
#include "usbdev/rxsim/air.h"
#include "usbdev/rxsim/chips.h"
#include "usbdev/rxsim/rxsim.h"
#include "usbdev/rxsim/words.h"

namespace rxsim {
namespace {

constexpr const char* kSource = "rxsim_conf";
constexpr uint32_t kHighestKhz = 3000000;

bool ParseUnsigned(const std::string& text, uint32_t low, uint32_t high, uint32_t* value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t parsed = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        parsed = parsed * 10 + static_cast<uint64_t>(c - '0');
    }
    if (parsed < low || parsed > high) return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

// The text after the key word, without the blanks around it.
std::string RestOfLine(const std::string& line, const std::string& key) {
    size_t start = line.find(key) + key.size();
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
        ++start;
    size_t end = line.size();
    while (end > start && std::isspace(static_cast<unsigned char>(line[end - 1])))
        --end;
    return line.substr(start, end - start);
}

std::string ResolvePath(const std::string& folder, const std::string& path) {
    if (folder.empty() || (!path.empty() && path[0] == '/')) return path;
    return (std::filesystem::path(folder) / path).lexically_normal().string();
}

// The chip names a firmware text gives (fields 4 and 5), or those of old firmware.
void ChipsFromFirmware(const std::string& firmware, std::string* baseband, std::string* tuner) {
    if (firmware.empty() || firmware.rfind("1.", 0) == 0) {
        *baseband = "PN3030";
        *tuner = "ITD3010";
        return;
    }
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(firmware);
    while (std::getline(in, field, '|'))
        fields.push_back(field);
    if (fields.size() > 3 && !fields[3].empty()) *baseband = fields[3];
    if (fields.size() > 4 && !fields[4].empty()) *tuner = fields[4];
}

class ConfReader {
  public:
    ConfReader(const std::string& folder, StickConfig* config) : folder_(folder), config_(config) {}

    void Line(int number, const std::string& raw) {
        number_ = number;
        std::string line = raw;
        size_t hash = line.find('#');
        // A firmware text may hold '#': only whole-line comments apply to it.
        std::vector<std::string> words = SplitWords(line);
        if (words.empty() || words[0][0] == '#') return;
        const std::string key = words[0];
        if (key == "firmware") {
            config_->firmware = RestOfLine(line, key);
            firmware_given_ = true;
            return;
        }
        if (hash != std::string::npos) words = SplitWords(line.substr(0, hash));
        if (key == "air") return Air(words);
        if (words.size() != 2) return Ignore(raw, "needs one value");
        const std::string& value = words[1];
        if (key == "library") return Library(value, raw);
        if (key == "hardware-id") return HardwareId(value, raw);
        if (key == "baseband") {
            baseband_ = value;
            return;
        }
        if (key == "tuner") {
            tuner_ = value;
            return;
        }
        if (key == "tuner-clock") {
            if (!ParseDecimal(value, 1.0, 100.0, &config_->tuner_clock_mhz)) {
                return Ignore(raw, "clock in MHz expected");
            }
            clock_given_ = true;
            return;
        }
        if (key == "acquisition") {
            if (!ParseUnsigned(value, 0, 60000, &config_->acquisition_ms)) {
                Ignore(raw, "milliseconds expected");
            }
            return;
        }
        if (key == "tolerance") {
            if (!ParseDecimal(value, 0.0, 1000.0, &config_->tolerance_khz)) {
                Ignore(raw, "kHz expected");
            }
            return;
        }
        if (key == "lock-level") {
            if (!ParseDecimal(value, -100.0, 100.0, &config_->lock_level)) {
                Ignore(raw, "signal value expected");
            }
            return;
        }
        if (key == "rx-queue") {
            if (!ParseUnsigned(value, 64, 64u << 20, &config_->rx_queue_bytes)) {
                Ignore(raw, "bytes expected");
            }
            return;
        }
        Ignore(raw, "unknown key");
    }

    bool Finish(std::string* error) {
        std::string baseband = config_->baseband, tuner = config_->tuner;
        if (firmware_given_) ChipsFromFirmware(config_->firmware, &baseband, &tuner);
        if (!baseband_.empty()) baseband = baseband_;
        if (!tuner_.empty()) tuner = tuner_;
        if (!IsEmulatedBaseband(baseband)) {
            *error = "baseband " + baseband + " is not emulated";
            return false;
        }
        if (!IsEmulatedTuner(tuner)) {
            *error = "tuner " + tuner + " is not emulated";
            return false;
        }
        config_->baseband = baseband;
        config_->tuner = tuner;
        if (!clock_given_) config_->tuner_clock_mhz = DefaultTunerClock(baseband);
        return true;
    }

  private:
    void Ignore(const std::string& raw, const char* why) {
        M4_LOG(1, kSource, "receiver.conf line %d ignored (%s): %s", number_, why, raw.c_str());
    }

    void Air(const std::vector<std::string>& words) {
        AirEntry entry;
        std::string line = Join(words);
        if (words.size() < 3 || !ParseUnsigned(words[1], 1, kHighestKhz, &entry.frequency_khz)) {
            return Ignore(line, "air <kHz> <file> [level <value>] expected");
        }
        entry.eti_path = ResolvePath(folder_, words[2]);
        size_t next = 3;
        if (words.size() >= 5 && words[3] == "level") {
            if (!ParseDecimal(words[4], -100.0, 100.0, &entry.level)) {
                return Ignore(line, "level must be a decimal signal value");
            }
            next = 5;
        }
        if (next < words.size()) {
            M4_LOG(1, kSource, "receiver.conf line %d: words after the file ignored: %s", number_,
                   line.c_str());
        }
        if (!frequencies_.insert(entry.frequency_khz).second) {
            return Ignore(line, "frequency already on the air");
        }
        std::error_code ignored;
        if (!std::filesystem::is_regular_file(entry.eti_path, ignored)) {
            M4_LOG(1, kSource,
                   "receiver.conf line %d: no ETI file %s (that frequency stays silent)", number_,
                   entry.eti_path.c_str());
        }
        config_->air.push_back(entry);
    }

    void Library(const std::string& value, const std::string& raw) {
        if (value == "SiUSBXp") {
            config_->library = usbdev::Library::kSiUSBXp;
        } else if (value == "KoruDmbMS") {
            config_->library = usbdev::Library::kKoruDmbMS;
        } else {
            Ignore(raw, "SiUSBXp or KoruDmbMS expected");
        }
    }

    void HardwareId(const std::string& value, const std::string& raw) {
        uint32_t id = 0;
        if (value == "none") {
            config_->hardware_id.reset();
        } else if (ParseUnsigned(value, 0, 255, &id)) {
            config_->hardware_id = static_cast<uint8_t>(id);
        } else {
            Ignore(raw, "0 to 255 or none expected");
        }
    }

    static std::string Join(const std::vector<std::string>& words) {
        std::string line;
        for (const std::string& word : words)
            line += (line.empty() ? "" : " ") + word;
        return line;
    }

    std::string folder_;
    StickConfig* config_;
    int number_ = 0;
    bool firmware_given_ = false;
    bool clock_given_ = false;
    std::string baseband_, tuner_;
    std::set<uint32_t> frequencies_;
};

}  // namespace

bool ParseReceiverConf(const std::string& text, const std::string& folder, StickConfig* config,
                       std::string* error) {
    ConfReader reader(folder, config);
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line))
        reader.Line(++number, line);
    return reader.Finish(error);
}

bool LoadReceiverConf(const std::string& path, StickConfig* config, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    return ParseReceiverConf(text.str(), folder, config, error);
}

bool ParseRecordingArgument(const std::string& argument, std::string* path,
                            std::optional<uint32_t>* frequency_khz, std::string* error) {
    *path = argument;
    frequency_khz->reset();
    const size_t at = argument.rfind('@');
    if (at == std::string::npos || at + 1 == argument.size()) return true;
    const std::string digits = argument.substr(at + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return true;
    uint32_t khz = 0;
    if (!ParseUnsigned(digits, 1, kHighestKhz, &khz)) {
        *error = "frequency " + digits + " kHz is out of range (1 to 3000000)";
        return false;
    }
    *path = argument.substr(0, at);
    *frequency_khz = khz;
    return true;
}

bool UseRecordingAsAir(const std::string& eti_path, uint32_t frequency_khz, StickConfig* config,
                       std::string* error) {
    std::error_code ignored;
    const std::string absolute = std::filesystem::absolute(eti_path, ignored).string();
    if (!std::filesystem::is_regular_file(absolute, ignored)) {
        *error = eti_path + " is not a file";
        return false;
    }
    if (LoadEnsemble(absolute, error) == nullptr) return false;
    AirEntry entry;
    entry.frequency_khz = frequency_khz;
    entry.eti_path = absolute;
    config->air = {entry};
    return true;
}

}  // namespace rxsim

#include "player/settings/em_xmlfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <pugixml.hpp>
#include <sstream>

#include "m4systems/atomic_file.h"
#include "m4systems/folders.h"
#include "m4systems/log.h"
#include "player/settings/band_tables.h"

namespace koru::settings {
namespace {

constexpr const char* kLogSource = "EM_XmlFile";

// ---- Reading attribute values -------------------------------------------------------------

std::string_view Trimmed(std::string_view text) {
    const char* kSpace = " \t\r\n";
    size_t first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(kSpace);
    return text.substr(first, last - first + 1);
}

std::optional<double> ParseNumber(std::string_view text) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// An integer key: a decimal number that rounds into the 16-bit signed range, else the default.
int ReadInt16(pugi::xml_node element, const char* key, int missing) {
    pugi::xml_attribute attribute = element.attribute(key);
    if (!attribute) return missing;
    std::optional<double> value = ParseNumber(attribute.value());
    if (!value) return missing;
    double rounded = std::nearbyint(*value);
    if (rounded < -32768.0 || rounded > 32767.0) return missing;
    return static_cast<int>(rounded);
}

float ReadFloat(pugi::xml_node element, const char* key) {
    pugi::xml_attribute attribute = element.attribute(key);
    if (!attribute) return 0;
    std::optional<double> value = ParseNumber(attribute.value());
    if (!value || std::fabs(*value) > 3.4e38) return 0;
    return static_cast<float>(*value);
}

// Only the exact text "true" counts as true.
bool ReadBool(pugi::xml_node element, const char* key) {
    return std::strcmp(element.attribute(key).value(), "true") == 0;
}

std::string_view ReadText(pugi::xml_node element, const char* key) {
    return element.attribute(key).value();
}

int WatchKindOf(std::string_view type) {
    if (type == "tv") return kWatchKindTv;
    if (type == "radio") return kWatchKindRadio;
    if (type == "data") return kWatchKindData;
    return 0;
}

// ---- Writing attribute values -------------------------------------------------------------

void WriteInt16(pugi::xml_node element, const char* key, int value) {
    element.append_attribute(key) = std::clamp(value, -32768, 32767);
}

void WriteFloat(pugi::xml_node element, const char* key, float value) {
    if (!std::isfinite(value)) value = 0;
    char text[32];
    auto result = std::to_chars(text, text + sizeof(text), value);
    *result.ptr = '\0';
    element.append_attribute(key) = text;
}

void WriteBool(pugi::xml_node element, const char* key, bool value) {
    element.append_attribute(key) = value ? "true" : "false";
}

void WriteText(pugi::xml_node element, const char* key, std::string_view value) {
    element.append_attribute(key) = std::string(value).c_str();
}

const char* WatchTypeText(int watch_kind) {
    switch (watch_kind) {
        case kWatchKindTv:
            return "tv";
        case kWatchKindRadio:
            return "radio";
        case kWatchKindData:
            return "data";
    }
    return nullptr;
}

// ---- Folder creation ----------------------------------------------------------------------

// The outcomes of creating a folder, named as the system reports them.
enum class FolderResult {
    kSuccess,
    kAlreadyExists,
    kAccessDenied,
    kFileNotFound,
    kPathNotFound,
    kNotEnoughMemory,
    kSharingViolation,
    kFileExists,
    kBadPathname,
    kOther,
};

FolderResult FromErrno(int error, const std::string& path) {
    switch (error) {
        case 0:
            return FolderResult::kSuccess;
        case EEXIST: {
            struct stat st {};
            bool is_folder = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            return is_folder ? FolderResult::kAlreadyExists : FolderResult::kFileExists;
        }
        case EACCES:
        case EPERM:
            return FolderResult::kAccessDenied;
        case ENOENT:
            return FolderResult::kFileNotFound;
        case ENOTDIR:
            return FolderResult::kPathNotFound;
        case ENOMEM:
            return FolderResult::kNotEnoughMemory;
        case EBUSY:
        case ETXTBSY:
            return FolderResult::kSharingViolation;
        case ENAMETOOLONG:
        case EINVAL:
        case ELOOP:
            return FolderResult::kBadPathname;
    }
    return FolderResult::kOther;
}

// Creates the folder and every missing parent; the result says what stopped it.
FolderResult CreateFolderWithParents(const std::string& path) {
    if (path.empty() || path.front() != '/') return FolderResult::kBadPathname;
    size_t end = 0;
    while (end != std::string::npos) {
        end = path.find('/', end + 1);
        std::string prefix = path.substr(0, end);
        bool is_last =
            end == std::string::npos || path.find_first_not_of('/', end) == std::string::npos;
        if (!is_last) {
            struct stat st {};
            if (stat(prefix.c_str(), &st) == 0) {
                if (!S_ISDIR(st.st_mode)) return FolderResult::kPathNotFound;
                continue;
            }
            if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
                return FromErrno(errno, prefix);
            }
            continue;
        }
        return FromErrno(mkdir(prefix.c_str(), 0755) == 0 ? 0 : errno, prefix);
    }
    return FolderResult::kSuccess;
}

// The log text of a result, or nullptr when the result logs nothing.
const char* LogTextOf(FolderResult result) {
    switch (result) {
        case FolderResult::kAlreadyExists:
            return "ERROR_ALREADY_EXISTS\n";
        case FolderResult::kFileNotFound:
            return "ERROR_FILE_NOT_FOUND\n";
        case FolderResult::kPathNotFound:
            return "ERROR_PATH_NOT_FOUND\n";
        case FolderResult::kNotEnoughMemory:
            return "ERROR_NOT_ENOUGH_MEMORY\n";
        case FolderResult::kSharingViolation:
            return "ERROR_SHARING_VIOLATION\n";
        case FolderResult::kFileExists:
            return "ERROR_FILE_EXISTS\n";
        case FolderResult::kBadPathname:
            return "ERROR_BAD_PATHNAME\n";
        default:
            return nullptr;
    }
}

// A folder is taken as it is only when it is a plain, writable folder: a link or a read-only
// folder goes through creation, which then reports that it already exists.
bool IsPlainFolder(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_IWUSR) != 0;
}

// Reads a whole file; the result is 0 or the errno value that stopped it.
int ReadWholeFile(const std::string& path, std::string* contents) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = 0;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n <= 0) break;
        contents->append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return error;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

EM_XmlFile::EM_XmlFile(ChannelStore& store, std::string channel_file_path)
    : store_(store), channel_file_path_(std::move(channel_file_path)) {
    if (channel_file_path_.empty()) channel_file_path_ = UserFolder() + "/" + kChannelFileName;
}

std::string EM_XmlFile::DefaultFolder(WorkingFolderIndex folder) {
    return DocumentsFolder() + kBaseFolderName + kFolderNames[folder];
}

void EM_XmlFile::ShowMessage(const std::string& caption, const std::string& text) const {
    if (show_message_) show_message_(caption, text);
}

bool EM_XmlFile::LoadSettings() {
    std::string text;
    if (int error = ReadWholeFile(channel_file_path_, &text); error != 0) {
        if (error == ENOENT) return LoadDocument(nullptr, 0);  // a first start
        // The file is there but cannot be read: not the same as a first start.
        M4_LOG(1, kLogSource, "cannot read %s: %s", channel_file_path_.c_str(),
               std::strerror(error));
        ShowMessage("Error", std::strerror(error));
        return false;
    }
    return LoadDocument(text.data(), text.size());
}

bool EM_XmlFile::LoadSettingsFromText(std::string_view document) {
    return LoadDocument(document.data(), document.size());
}

void EM_XmlFile::UseDefaultFolders() {
    for (int i = 0; i < kWorkingFolderCount; ++i) {
        auto folder = static_cast<WorkingFolderIndex>(i);
        paths_[folder] = DefaultFolder(folder);
        EnsureFolder(paths_[folder]);
    }
}

bool EM_XmlFile::LoadDocument(const void* data, size_t size) {
    pugi::xml_document document;
    pugi::xml_parse_result parsed =
        size == 0 ? pugi::xml_parse_result()
                  : document.load_buffer(data, size, pugi::parse_default, pugi::encoding_auto);
    pugi::xml_node root = parsed ? document.document_element() : pugi::xml_node();
    if (!root || std::strcmp(root.name(), "Velmar") != 0) {
        // Missing, empty, not well-formed or not ours: a first start. The file itself stays
        // as it is until the next save.
        if (size != 0)
            M4_LOG(1, kLogSource, "%s is not a settings file", channel_file_path_.c_str());
        UseDefaultFolders();
        return false;
    }

    store_.tv.Clear();
    store_.radio.Clear();
    store_.data.Clear();
    for (pugi::xml_node element : root.children("Channel")) {
        const std::string_view type = ReadText(element, "type");
        ChannelEntry entry;
        entry.subch_id = ReadInt16(element, "subch_id", 0);
        entry.freq = ReadFloat(element, "freq");
        SetFixedText(entry.label, ReadText(element, "label"));
        ChannelList* list = nullptr;
        if (type == "tv") {
            entry.kind = kChannelKindTv;
            list = &store_.tv;
            store_.watch_kind = kWatchKindTv;
            store_.channels_available = 1;
        } else if (type == "radio") {
            entry.kind = kChannelKindRadio;
            list = &store_.radio;
        } else if (type == "data") {
            entry.kind = kChannelKindData;
            list = &store_.data;
        } else {
            continue;
        }
        if (!list->Append(entry)) {
            M4_LOG(2, kLogSource, "more than %d %.*s channels: \"%s\" dropped", kMaxChannels,
                   static_cast<int>(type.size()), type.data(), entry.label);
        }
    }

    // A missing WatchInfo reads like one without attributes.
    pugi::xml_node watch = root.child("WatchInfo");
    if (int kind = WatchKindOf(ReadText(watch, "type")); kind != 0) store_.watch_kind = kind;
    store_.current_tv = ReadInt16(watch, "channel", 0);
    store_.current_radio = ReadInt16(watch, "radioch", 0);
    store_.current_data = ReadInt16(watch, "datach", 0);
    volume_ = ReadInt16(watch, "volume", 0);
    // "mute" is read but not applied: the player always starts with sound.
    car_ = ReadBool(watch, "car");

    pugi::xml_node path = root.child("Path");
    for (int i = 0; i < kWorkingFolderCount; ++i) {
        auto folder = static_cast<WorkingFolderIndex>(i);
        paths_[folder] = ReadText(path, kFolderNames[folder]);
        if (paths_[folder].empty()) {
            paths_[folder] = DefaultFolder(folder);
            EnsureFolder(paths_[folder]);
        }
    }

    if (pugi::xml_node window = root.child("Window")) {
        topmost_ = ReadBool(window, "topmost");
        ratio_ = ReadInt16(window, "ratio", 1);
        store_.language = ReadInt16(window, "language", 0);
        store_.frequency_region = ReadInt16(window, "freqlocal", kDefaultFrequencyRegion);
        timeshift_ = ReadInt16(window, "timeshift", 0);
        timeshiftonoff_ = ReadInt16(window, "timeshiftonoff", 1);
    } else {
        topmost_ = false;
        ratio_ = 0;
        store_.language = 0;
        store_.frequency_region = 0;
        timeshift_ = 0;
        timeshiftonoff_ = 0;
    }
    if (store_.language != 0 && store_.language != 1) {
        // Every two-language table is indexed by it: anything else reads as Korean.
        M4_LOG(2, kLogSource, "language %d is not 0 or 1: 0 used", store_.language);
        store_.language = 0;
    }
    if (store_.frequency_region < 0 || store_.frequency_region >= kFrequencyRegionCount) {
        // It selects the band table a search scans: a region without one would scan nothing.
        M4_LOG(1, kLogSource, "freqlocal %d is no region: %d used", store_.frequency_region,
               kDefaultFrequencyRegion);
        store_.frequency_region = kDefaultFrequencyRegion;
    }

    pugi::xml_node skin = root.child("Skin");
    skin_file_ = skin ? std::string(ReadText(skin, "file")) : std::string(kDefaultSkinFile);

    if (pugi::xml_node region = root.child("RegionPos")) {
        region_x_ = ReadInt16(region, "regionX", -1);
        region_y_ = ReadInt16(region, "regionY", -1);
    } else {
        region_x_ = 0;
        region_y_ = 0;
    }

    int slot = 0;
    for (pugi::xml_node element : root.children("RECData")) {
        if (slot == kMaxReservations) {
            M4_LOG(2, kLogSource, "more than %d reservations: the rest dropped", kMaxReservations);
            break;
        }
        Reservation& reservation = store_.reservations[static_cast<size_t>(slot++)];
        const std::string_view type = ReadText(element, "type");
        if (type == "tv") reservation.kind = kReservationKindTv;
        if (type == "radio") reservation.kind = kReservationKindRadio;
        reservation.index = ReadInt16(element, "index", -1);
        SetFixedText(reservation.channel, ReadText(element, "channel"));
        SetFixedText(reservation.start, ReadText(element, "start"));
        SetFixedText(reservation.end, ReadText(element, "end"));
    }
    store_.reservation_count = slot;
    return true;
}

std::string EM_XmlFile::SettingsDocument() {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    pugi::xml_node root = document.append_child("Velmar");
    root.append_attribute("ver") = "1.0";

    AudioState audio = audio_state_ ? audio_state_() : AudioState{volume_, false};
    pugi::xml_node watch = root.append_child("WatchInfo");
    if (const char* type = WatchTypeText(store_.watch_kind)) watch.append_attribute("type") = type;
    WriteInt16(watch, "channel", store_.current_tv);
    WriteInt16(watch, "volume", audio.volume);
    WriteBool(watch, "mute", audio.mute);
    WriteInt16(watch, "radioch", store_.current_radio);
    WriteBool(watch, "car", car_);
    WriteInt16(watch, "datach", store_.current_data);

    const std::pair<const ChannelList*, const char*> lists[] = {
        {&store_.tv, "tv"}, {&store_.radio, "radio"}, {&store_.data, "data"}};
    for (const auto& [list, type] : lists) {
        const int count = std::clamp(list->count, 0, kMaxChannels);
        for (int i = 0; i < count; ++i) {
            const ChannelEntry& entry = list->entries[static_cast<size_t>(i)];
            pugi::xml_node channel = root.append_child("Channel");
            channel.append_attribute("type") = type;
            WriteInt16(channel, "subch_id", entry.subch_id);
            WriteFloat(channel, "freq", entry.freq);
            WriteText(channel, "label", FixedText(entry.label));
        }
    }

    pugi::xml_node path = root.append_child("Path");
    for (int i = 0; i < kWorkingFolderCount; ++i) {
        WriteText(path, kFolderNames[i], paths_[static_cast<size_t>(i)]);
    }

    pugi::xml_node window = root.append_child("Window");
    WriteBool(window, "topmost", topmost_);
    WriteInt16(window, "ratio", ratio_);
    WriteInt16(window, "language", store_.language);
    WriteInt16(window, "freqlocal", store_.frequency_region);
    WriteInt16(window, "timeshift", timeshift_);
    WriteInt16(window, "timeshiftonoff", timeshiftonoff_);

    WriteText(root.append_child("Skin"), "file", skin_file_);

    region_x_ = std::max(region_x_, 0);
    region_y_ = std::max(region_y_, 0);
    pugi::xml_node region = root.append_child("RegionPos");
    WriteInt16(region, "regionX", region_x_);
    WriteInt16(region, "regionY", region_y_);

    const int reservations = std::clamp(store_.reservation_count, 0, kMaxReservations);
    for (int i = 0; i < reservations; ++i) {
        const Reservation& reservation = store_.reservations[static_cast<size_t>(i)];
        pugi::xml_node element = root.append_child("RECData");
        if (reservation.kind == kReservationKindTv) element.append_attribute("type") = "tv";
        if (reservation.kind == kReservationKindRadio) element.append_attribute("type") = "radio";
        WriteInt16(element, "index", reservation.index);
        WriteText(element, "channel", FixedText(reservation.channel));
        WriteText(element, "start", FixedText(reservation.start));
        WriteText(element, "end", FixedText(reservation.end));
    }

    std::ostringstream out;
    document.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return out.str();
}

bool EM_XmlFile::SaveSettings() {
    const std::string document = SettingsDocument();
    if (!WriteFileAtomically(channel_file_path_, document)) {
        M4_LOG(1, kLogSource, "cannot write %s: %s", channel_file_path_.c_str(),
               std::strerror(errno));
        return false;
    }
    return true;
}

bool EM_XmlFile::EnsureFolder(const std::string& path) {
    if (IsPlainFolder(path)) return true;
    FolderResult result = CreateFolderWithParents(path);
    if (result == FolderResult::kAccessDenied) {
        // Creation refused: the folder may still be there and writable. Test it by copying the
        // channel file into it, named as the path with "channel.xml" appended directly.
        const std::string probe = path + kChannelFileName;
        std::error_code error;
        if (IsFolder(path) && std::filesystem::copy_file(channel_file_path_, probe, error)) {
            std::filesystem::remove(probe, error);
            return true;
        }
    }
    if (const char* text = LogTextOf(result)) {
        M4_LOG(result == FolderResult::kAlreadyExists ? 2 : 1, kLogSource, "%s", text);
        log_debug_out("%s", text);
    }
    if (result == FolderResult::kSuccess || result == FolderResult::kAlreadyExists) return true;
    ShowMessage("", store_.language == 1 ? kFolderErrorEn : kFolderErrorKo);
    return false;
}

}  // namespace koru::settings

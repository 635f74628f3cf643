// EM_XmlFile: the settings and channel file "channel.xml" in the user folder. The main window
// owns one, calls LoadSettings once and SaveSettings whenever stored values change; the
// recording and options code call EnsureFolder before they use a working folder.
#ifndef PLAYER_SETTINGS_EM_XMLFILE_H
#define PLAYER_SETTINGS_EM_XMLFILE_H

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "player/settings/channel_store.h"

namespace koru::settings {

// The five working folders, in the order they are read, written and created.
enum WorkingFolderIndex {
    kCaptureFolder,
    kVideoFolder,
    kAudioFolder,
    kTimeshiftFolder,
    kDataServiceFolder,
    kWorkingFolderCount
};

// Shows a message to the user. The player turns it into a message box (an empty caption means
// the program's own caption) and then sets the flag that makes the next Enter or Esc only
// dismiss.
using MessageCallback = std::function<void(const std::string& caption, const std::string& text)>;

// The main window's volume and mute state at the moment of saving.
struct AudioState {
    int volume = 0;
    bool mute = false;
};

class EM_XmlFile {
  public:
    static constexpr const char* kChannelFileName = "channel.xml";
    // Appended to the documents folder, followed by a folder name.
    static constexpr const char* kBaseFolderName = "/KORU-DMB/";
    // Sub-folder names, also the attribute names of the `Path` element.
    static constexpr std::array<const char*, kWorkingFolderCount> kFolderNames = {
        "capture", "video", "audio", "timeshift", "DataService"};
    static constexpr const char* kDefaultSkinFile = "Koru Digital.lay";

    // The folder failure message, Korean (language 0) and English (language 1).
    static constexpr const char* kFolderErrorKo =
        "폴더를 생성 할 수 없습니다.\n\n폴더 이름 및 경로를 확인하세요.";
    static constexpr const char* kFolderErrorEn =
        "Impossible to create the folder.\n\nPlease check the name and path of the folder.";

    // The store receives the channel lists, WatchKind, indexes, language, region and
    // reservations; it must outlive this object. An empty path means the user folder's
    // "channel.xml".
    explicit EM_XmlFile(ChannelStore& store, std::string channel_file_path = {});

    void SetMessageCallback(MessageCallback callback) { show_message_ = std::move(callback); }
    // Where SaveSettings takes the volume and mute state from; without it, volume() and no mute.
    void SetAudioStateSource(std::function<AudioState()> source) {
        audio_state_ = std::move(source);
    }

    // Reads the channel file. False when it is missing, empty, not well-formed, not a settings
    // document or unreadable (the last one also shows a message); the defaults then stay and
    // the default working folders are created.
    bool LoadSettings();
    // The same for a document held in memory (no message: there is no file to fail).
    bool LoadSettingsFromText(std::string_view document);
    // Writes the whole file; the old file stays whole until the new one has replaced it.
    // False when it could not be written.
    bool SaveSettings();
    // The document SaveSettings writes (negative region values are set to 0 first).
    std::string SettingsDocument();

    // True when the folder exists or was created; false after showing the failure message.
    bool EnsureFolder(const std::string& path);

    // The default of a working folder: documents folder + "/KORU-DMB/" + its name.
    static std::string DefaultFolder(WorkingFolderIndex folder);

    const std::string& channel_file_path() const { return channel_file_path_; }
    ChannelStore& store() { return store_; }

    bool topmost() const { return topmost_; }
    void set_topmost(bool value) { topmost_ = value; }
    bool car() const { return car_; }
    void set_car(bool value) { car_ = value; }
    int ratio() const { return ratio_; }
    void set_ratio(int value) { ratio_ = value; }
    int timeshiftonoff() const { return timeshiftonoff_; }
    void set_timeshiftonoff(int value) { timeshiftonoff_ = value; }
    int timeshift() const { return timeshift_; }
    void set_timeshift(int value) { timeshift_ = value; }
    int volume() const { return volume_; }
    void set_volume(int value) { volume_ = value; }
    int region_x() const { return region_x_; }
    void set_region_x(int value) { region_x_ = value; }
    int region_y() const { return region_y_; }
    void set_region_y(int value) { region_y_ = value; }
    const std::string& path(WorkingFolderIndex folder) const { return paths_[folder]; }
    void set_path(WorkingFolderIndex folder, std::string value) {
        paths_[folder] = std::move(value);
    }
    const std::string& skin_file() const { return skin_file_; }
    void set_skin_file(std::string value) { skin_file_ = std::move(value); }

  private:
    bool LoadDocument(const void* data, size_t size);
    void UseDefaultFolders();
    void ShowMessage(const std::string& caption, const std::string& text) const;

    ChannelStore& store_;
    std::string channel_file_path_;
    MessageCallback show_message_;
    std::function<AudioState()> audio_state_;

    bool topmost_ = false;
    bool car_ = false;
    int ratio_ = 1;
    int timeshiftonoff_ = 1;
    int timeshift_ = 0;
    int volume_ = 0;
    int region_x_ = 0;
    int region_y_ = 0;
    std::array<std::string, kWorkingFolderCount> paths_;
    std::string skin_file_ = kDefaultSkinFile;
};

}  // namespace koru::settings

#endif

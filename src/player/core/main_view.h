// What the main window's logic (MainController) asks of the window that shows it, and of the
// windows that later parts of the player add. The Qt window implements MainView; tests put a
// recording view in its place.
#ifndef PLAYER_CORE_MAIN_VIEW_H
#define PLAYER_CORE_MAIN_VIEW_H

#include <string>

#include "player/skin/skin_layout.h"

namespace koru::player {

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

class MainView {
  public:
    virtual ~MainView() = default;

    // Status displays: the controller keeps the texts and the bar count, the view redraws.
    virtual void RedrawMessageLine(int line) = 0;
    virtual void RedrawAntenna() = 0;
    virtual void RedrawProgress() = 0;
    // The played file's position and length (ms) for the progress bar; redraws it.
    virtual void SetProgress(long long position_ms, long long length_ms) = 0;

    // A modal error or information box (OK) and a Yes/No question.
    virtual void ShowErrorBox(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    // The skinned modeless message box (EM_MessageBox) with the main window's message text.
    virtual void ShowSkinnedMessage(const std::string& text) = 0;
    virtual void HideSkinnedMessage() = 0;

    // On-screen displays over the picture.
    virtual void ShowChannelBanner(const std::string& caption) = 0;
    virtual void HideChannelBanner() = 0;
    virtual void ShowStatusOverlay(const std::string& text) = 0;
    virtual void HideStatusOverlay() = 0;
    virtual void ShowVolumeOsd(const std::string& text) = 0;
    virtual void HideVolumeOsd() = 0;
    virtual void ShowRecordMark(bool visible) = 0;

    // Window shape and size. ApplyLayout shows the video layout (the picture) or the audio
    // layout (the radio background at normal size); ApplyExtraSize enlarges the picture area by
    // (dx, dy) over the layout's size.
    virtual void ApplyLayout(int layout) = 0;
    virtual void ApplyExtraSize(int dx, int dy) = 0;
    virtual void EnterFullScreen(const skin::Rect& video) = 0;
    virtual void LeaveFullScreen() = 0;
    virtual Size DesktopSize() = 0;
    // The picture area (RG_Screen grown by the extra size), in window coordinates.
    virtual skin::Rect ScreenRegion() = 0;
    virtual void Minimize() = 0;
    virtual void MovePointerAway() = 0;

    // Controls.
    virtual void SetVolumeSlider(int volume) = 0;
    virtual void SetMuted(bool muted) = 0;
    virtual void SetPlayTooltip(bool paused) = 0;
    virtual void RefreshMenus() = 0;
    virtual void RefreshTexts() = 0;
    virtual void RefreshButtons() = 0;

    virtual void OpenMakerPage() = 0;
    virtual void TakeFocus() = 0;
};

// The channel list and channel search windows. The main window calls them where its
// behaviour opens or informs them; until they exist the commands that open them are greyed.
class ChannelWindows {
  public:
    virtual ~ChannelWindows() = default;
    // Control 1006 and key L (not in full screen): show the search window if it is up, toggle
    // the channel list, or start a search when nothing is stored.
    virtual void ChannelListCommand() = 0;
    // Menu command 32785 and key F3: receiver check, then a channel search.
    virtual void ChannelSearchCommand() = 0;
    // The deferred start-up found nothing to play.
    virtual void OpenChannelList() = 0;
    // Select (and focus) entry index of the list of watch_kind.
    virtual void SelectChannel(int watch_kind, int index) = 0;
    // The main window switched lists (key T): mark the list's button, show its list view.
    virtual void WatchKindSwitched(int watch_kind) = 0;
    // Full screen hides the windows that were visible; leaving it shows them again.
    virtual void HideForFullScreen() = 0;
    virtual void RestoreAfterFullScreen() = 0;
    // The main window moved by (dx, dy) (never in full screen).
    virtual void MainWindowMoved(int dx, int dy) = 0;
    // The skin changed: lay the windows out again.
    virtual void Relayout() = 0;
    // The language changed: headings and tooltips in the new one.
    virtual void RefreshTexts() = 0;
    // True while the search window is the active window.
    virtual bool SearchWindowActive() = 0;
};

// The options, shortcut list and program information dialogs and the manual search window.
// Until they exist their commands are greyed.
class DialogWindows {
  public:
    virtual ~DialogWindows() = default;
    // Modal: each returns when its dialog has ended.
    virtual void OptionsDialog() = 0;
    virtual void ShortcutListDialog() = 0;
    virtual void InformationDialog() = 0;
    // The service key sequence shows the (modeless) manual search window.
    virtual void ShowManualSearch() = 0;
};

// The data-service display (EM_MOT: slideshow pictures, the logo, a broadcast website's pages)
// and the radio text window at the foot of the picture. The main window's logic, the message window
// and the channel windows call it; until a display is attached every call does nothing.
class DataServiceDisplay {
  public:
    virtual ~DataServiceDisplay() = default;
    // Shows the window with its current picture (the logo while "use logo" is set); refresh
    // also repaints it at once.
    virtual void Show(bool /*refresh*/) {}
    virtual void Hide() {}
    // The data-service state was reset (a stop, a weak signal, a lost receiver): the label and
    // the picture of the service no longer apply.
    virtual void Reset() {}
    // The next picture is the logo ("use logo").
    virtual void UseLogo() {}
    // A new slideshow picture (JPEG or PNG file); an empty path changes nothing.
    virtual void ShowFile(const std::string& /*path*/) {}
    // The start page of a broadcast website (a local file).
    virtual void Navigate(const std::string& /*start_page*/) {}
    virtual void SetRadioText(const std::string& /*text*/) {}
    virtual void ShowRadioText(bool /*visible*/) {}
};

}  // namespace koru::player

#endif

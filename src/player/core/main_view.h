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

// The data-service display and the radio text window (EM_MOT and its strip).
class DataServiceDisplay {
  public:
    virtual ~DataServiceDisplay() = default;
    virtual void Show(bool refresh) = 0;
    virtual void Hide() = 0;
    // The data-service state was reset (a new service, a stop, a weak signal).
    virtual void Reset() = 0;
    // The next picture is the logo ("use logo").
    virtual void UseLogo() = 0;
    virtual void SetRadioText(const std::string& text) = 0;
    virtual void ShowRadioText(bool visible) = 0;
    // A channel of watch_kind was tuned (the message window's 1129).
    virtual void ChannelTuned(int watch_kind, int index) = 0;
    // 1243, 1245, 1247 as the message window receives them.
    virtual void Label(long long charset, long long length) = 0;
    virtual void SlideshowObject(long long wparam, long long lparam) = 0;
    virtual void WebSite(long long wparam, long long lparam) = 0;
};

}  // namespace koru::player

#endif

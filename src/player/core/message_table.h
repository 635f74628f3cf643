// The message table: every text the player shows, in Korean (language 0) and English
// (language 1). Windows ask for a text by its id and the current language index, so a change of
// language shows at the next redraw.
#ifndef PLAYER_CORE_MESSAGE_TABLE_H
#define PLAYER_CORE_MESSAGE_TABLE_H

#include <string>

namespace koru::player {

enum class Text : int {
    // Start-up.
    kConfigMissing,
    kNoPlugins,
    kNoAudio,
    kErrorCaption,
    // Questions.
    kRecordingStopAsk,
    kReservationsDeleteAsk,
    // Tooltips of the main window's controls.
    kTipPlay,
    kTipPause,
    kTipStop,
    kTipRecord,
    kTipChannelUp,
    kTipChannelDown,
    kTipOpen,
    kTipCapture,
    kTipChannelList,
    kTipMinimize,
    kTipFullScreen,
    kTipTurnOff,
    kTipMute,
    kTipVolume,
    kTipLogo,
    // Status lines.
    kConnecting,
    kDisconnect,
    kWeakSignal,
    kWeakSignalLost,
    kReceiving,
    kNoChannelData,
    kSoundUnsupported,
    kSearching,
    kSearch,
    kSearchFrequency,
    kSearchCanceled,
    kSearchCompleted,
    kCannotFindRxmod,
    // Receiver and display reports.
    kUsbLostRetry,
    kUsbLostConnect,
    kUsbLostSearchCanceled,
    kDisplayChanged,
    // Recording, time shift, capture.
    kRecordWriteError,
    kRecordSizeLimit,
    kTimeShiftNoSpace,
    kTimeShiftNoFile,
    kTimeShiftWhileRecording,
    kTimeShiftCounter,
    kTimeShiftOff,
    kTimeShiftPlayingNoRecord,
    kRecordingTv,
    kRecordingRadio,
    kPreengagedTv,
    kPreengagedRadio,
    kRecordFileName,
    kRecordSplitHead,
    kRecordSplitFile,
    kRecordSplitTail,
    kFolderError,
    kRecordDataChannelRefused,
    kCaptureFileName,
    kFileCannotPlay,
    // Reserved recordings.
    kReserveSelectChannel,
    kReserveStartBeforeNow,
    kReserveCheckStart,
    kReserveBelow8Hours,
    kReserveOverlap,
    kReserveOverlapFormat,
    // Skins.
    kSkinRefusedInRadio,
    // Main menu.
    kMenuOpen,
    kMenuStop,
    kMenuChannelSearch,
    kMenuChannelList,
    kMenuChannelUp,
    kMenuChannelDown,
    kMenuRecord,
    kMenuRecordingStop,
    kMenuPreengagement,
    kMenuCapture,
    kMenuNormalSize,
    kMenuDoubleSize,
    kMenuFullScreen,
    kMenuScreenRecover,
    kMenuSkin,
    kMenuOptions,
    kMenuRegion,
    kMenuRegionLBandEurope,
    kMenuRegionBand3Europe,
    kMenuRegionSeoul,
    kMenuRegionKorea,
    kMenuRegionBeijing,
    kMenuRegionShanghai,
    kMenuLanguage,
    kMenuKorean,
    kMenuEnglish,
    kMenuProgramInformation,
    kMenuShortcutList,
    kMenuUpdateCheck,
    kMenuExit,
    // Channel list and channel search windows.
    kTipTvConversion,
    kTipRadioConversion,
    kTipDataConversion,
    kTipChannelSearch,
    kTvChannelList,
    kRadioChannelList,
    kDataChannelList,
    kSearchTableFull,
    // On-screen displays.
    kCaptionFormat,
    kChannelWord,
    kRecordMark,
    kMuteFormat,
    kMuteWord,
    kVolumeFormat,
    kVolumeWord,
    kTextCount
};

// The text of an entry in a language (0 Korean, 1 English; any other index gives English).
const char* Tr(Text id, int language);

// printf-style formatting of a table text.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace koru::player

#endif

#include "player/core/message_table.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <vector>

namespace koru::player {

namespace {

struct Entry {
    Text id;
    const char* korean;
    const char* english;
};

// clang-format off
constexpr Entry kTable[] = {
    {Text::kConfigMissing,
     "KORU-DMB 설정 파일을 찾을 수 없습니다.\nKORU-DMB 프로그램을 다시 설치해 주세요.",
     "KORU-DMB Configuration file does not found.\nPlease reinstall the KORU-DMB program."},
    {Text::kNoPlugins,
     "플러그인 파일을 찾을 수 없습니다.\n KORU-DMB 프로그램을 다시 설치해 주세요.",
     "Plugin file does not found.\n Please reinstall the KORU-DMB program."},
    {Text::kNoAudio,
     "오디오 장치를 사용할 수 없습니다.\n미디어 플레이어나 웹 브라우저 같은 다른 프로그램이 "
     "오디오 장치를 사용하고 있습니다.\nTV 방송의 소리를 들을 수 없습니다.\n",
     "The audio system can not be used.\nThe audio system already has been played by the other "
     "programme such like media player or Internet explorer\nTV programme can not make the "
     "sound.\n"},
    {Text::kErrorCaption, "오류", "Error"},
    {Text::kRecordingStopAsk, "녹화중 입니다. 녹화를 정지하시겠습니까?",
     "Recording, and Do you want to stop?"},
    {Text::kReservationsDeleteAsk,
     "예약녹화 데이터가 있습니다.\n채널 검색을 하면 예약 녹화 데이터가 삭제됩니다.\n"
     "채널 검색을 계속 하시겠습니까?",
     "There is the data for preengagement recording.\nif you check search the channel, this "
     "data will be deleted.\nDo you still want to search the channel?"},
    {Text::kTipPlay, "재생 (P)", "Play (P)"},
    {Text::kTipPause, "일시 정지 (P)", "One time stop (P)"},
    {Text::kTipStop, "정지 (S)", "Stop (S)"},
    {Text::kTipRecord, "녹화 (R)", "Recording (R)"},
    {Text::kTipChannelUp, "채널 올림 (UP)", "Channel up (UP)"},
    {Text::kTipChannelDown, "채널 내림 (DOWN)", "Channel down (DOWN)"},
    {Text::kTipOpen, "열기 (O)", "Open (O)"},
    {Text::kTipCapture, "화면 캡쳐 (C)", "Capture (C)"},
    {Text::kTipChannelList, "채널 목록 (L)", "Channel list (L)"},
    {Text::kTipMinimize, "화면 최소화", "Screen minimized"},
    {Text::kTipFullScreen, "전체 화면 (Enter)", "Full screen (Enter)"},
    {Text::kTipTurnOff, "끄기 (Alt+F4)", "Turn off (Alt+F4)"},
    {Text::kTipMute, "음소거 (M)", "Mute (M)"},
    {Text::kTipVolume, "볼륨 조절 (Left/Right)", "Volume control (Left/Right)"},
    {Text::kTipLogo, "KORU-DMB 홈페이지", "KORU-DMB home page"},
    {Text::kConnecting, "연결 중", "Connecting"},
    {Text::kDisconnect, "연결 끊김", "Disconnect"},
    {Text::kWeakSignal, "신호가 약합니다", "Weak signal"},
    {Text::kWeakSignalLost, "수신 신호가 약합니다", "Weak signal"},
    {Text::kReceiving, "수신 중", "receiving"},
    {Text::kNoChannelData, "채널 데이터가 없습니다.", "No data for channel"},
    {Text::kSoundUnsupported, "이 채널의 소리는 재생할 수 없습니다", "This channel's sound cannot be played"},
    {Text::kSearching, "채널 검색중입니다.", "Searching"},
    {Text::kSearch, "검색", "Search"},
    {Text::kSearchFrequency, "%s: %.1fMhz", "%s: %.1fMhz"},
    {Text::kSearchCanceled, "채널 검색을 취소합니다.", "Searching has been canceled"},
    {Text::kSearchCompleted, "채널 검색 완료했습니다.", "Searching has been completed"},
    {Text::kCannotFindRxmod, "rxmod.dll 을 찾을 수 없습니다.", "Cannot find rxmod.dll"},
    {Text::kUsbLostRetry,
     "수신기와 PC의 USB 포트 연결이 끊어졌습니다.\n\n 다시 시도해 주세요.",
     "Disconnected between receiver and USB port on your PC.\n\n Please retry it."},
    {Text::kUsbLostConnect,
     "수신기와 PC의 USB 포트 연결이 끊어졌습니다.\n\n USB에 연결해 주세요.",
     "Disconnected between receiver and USB port on your PC.\n\n Please connect to USB."},
    {Text::kUsbLostSearchCanceled,
     "수신기와 PC의 USB 포트 연결이 끊어졌습니다.\n\n채널 검색을 취소했습니다.",
     "Disconnected between receiver and USB port on your PC.\n\nCanceled to search."},
    {Text::kDisplayChanged,
     "절전 모드로 인해 화면 모드가 바뀌었습니다.\n\n프로그램을 종료합니다. 다시 실행해 주세요.",
     "Due to power saving mode, display mode is changed.\n\nClose the program. Please restart "
     "it."},
    {Text::kRecordWriteError, "녹화 중에 문제가 생겼습니다.\n저장 장치를 확인해 주세요.",
     "Problems occurred on recording process.\nPlease check the storage device."},
    {Text::kRecordSizeLimit, "녹화 파일은 2GB까지 저장할 수 있습니다.\n\n녹화를 정지합니다.",
     "The limmits of recording size is 2GB.\n\nRecording is stopped."},
    {Text::kTimeShiftNoSpace, "타임시프트 기능에 필요한 디스크 공간이 부족합니다.",
     "Disk space for time shift function is insufficient."},
    {Text::kTimeShiftNoFile,
     "타임시프트 기능에 필요한 파일을 만들 수 없습니다.\n타임시프트 옵션을 끕니다.",
     "It is impossible to create the file for using the time shift function.\nTime shift "
     "option is setting off."},
    {Text::kTimeShiftWhileRecording, "녹화 중에는 타임시프트 기능을 사용할 수 없습니다.",
     "It is recording now. It is not possible to play the timesift function."},
    {Text::kTimeShiftCounter, "타임시프트  %02d:%02d:%02d", "TimeShift  %02d:%02d:%02d"},
    {Text::kTimeShiftOff, "타임시프트 기능이 꺼져 있습니다", "Timesift function is now OFF"},
    {Text::kTimeShiftPlayingNoRecord,
     "타임시프트 재생 중입니다. 타임시프트를 멈춘 뒤 녹화를 시작하세요.",
     "Timeshift function is now on playing. Please stop Timeshift and then start to record."},
    {Text::kRecordingTv, "녹화 중", "Recording"},
    {Text::kRecordingRadio, "녹음 중", "Recording"},
    {Text::kPreengagedTv, "예약 녹화", "Preengagement of record"},
    {Text::kPreengagedRadio, "예약 녹음", "Preengagement of record"},
    {Text::kRecordFileName, "%s/%s %d월%d일%d시%d분%d초", "%s/%s %d-%d %dH %dM %dS"},
    {Text::kRecordSplitHead, "녹화 파일이 나뉘어 저장되었습니다.\n\n",
     "Recoding files are saved seperatedly.\n\n"},
    {Text::kRecordSplitFile, "\n\n%s-%d.ts", "\n\n%s-%d.ts"},
    {Text::kRecordSplitTail, "\n\n방송 시간 정보가 맞지 않아 파일을 나누었습니다.",
     "\n\nThe file was devided due to the discord of time information."},
    {Text::kFolderError, "폴더를 생성 할 수 없습니다.\n\n폴더 이름 및 경로를 확인하세요.",
     "Impossible to create the folder.\n\nPlease check the name and path of the folder."},
    {Text::kRecordDataChannelRefused, "데이터 채널은 녹화할 수 없습니다.",
     "A data channel cannot be recorded."},
    {Text::kCaptureFileName, "%s/%s %d월%d일%d시%d분%d초%03d.jpg",
     "%s/%s %d월%d일%d시%d분%d초%03d.jpg"},
    {Text::kFileCannotPlay, "파일을 재생할 수 없습니다.\n\n%s", "The file cannot be played.\n\n%s"},
    {Text::kReserveSelectChannel, "녹화하려는 방송을 선택하세요.", "Please, select the channel"},
    {Text::kReserveStartBeforeNow, "녹화 시작 시간이 현재 시간보다 이전입니다.",
     "The time for recording start is before the current time"},
    {Text::kReserveCheckStart, "녹화 시간을 정확하게 선택하세요.",
     "Please check your request for the time of recording start"},
    {Text::kReserveBelow8Hours, "녹화 시간은 8시간 이하로 설정 해 주세요.",
     "Recording time should be below 8 hours"},
    {Text::kReserveOverlap, "예약 시간이 설정되어 있습니다.\n다시 예약시간을 설정하세요.",
     "The time for preengagement is already established.\nPlease reestablished it."},
    {Text::kReserveOverlapFormat, "%s ~ %s %s", "%s ~ %s %s"},
    {Text::kSkinRefusedInRadio, "라디오 모드에서는 스킨을 변경 할 수 없습니다.",
     "The skin cannot be changed in radio mode."},
    {Text::kMenuOpen, "열기\tO", "Open\tO"},
    {Text::kMenuStop, "정지\tS", "Stop\tS"},
    {Text::kMenuChannelSearch, "채널 검색\tF3", "Channel Search\tF3"},
    {Text::kMenuChannelList, "채널 목록\tL", "Channel list\tL"},
    {Text::kMenuChannelUp, "채널 올림\tUp", "Channel up\tUp"},
    {Text::kMenuChannelDown, "채널 내림\tDown", "Channel down\tDown"},
    {Text::kMenuRecord, "녹화\tR", "Record\tR"},
    {Text::kMenuRecordingStop, "녹화 정지\tS", "Recording stop\tS"},
    {Text::kMenuPreengagement, "예약 녹화\tB", "Preengagement of recording\tB"},
    {Text::kMenuCapture, "화면 캡쳐\tC", "Capture\tC"},
    {Text::kMenuNormalSize, "기본 크기 화면\tAlt+1", "Normal size screen\tAlt+1"},
    {Text::kMenuDoubleSize, "200% 확대 화면\tAlt+2", "200% max. size screen\tAlt+2"},
    {Text::kMenuFullScreen, "전체 화면\tEnter", "Full screen\tEnter"},
    {Text::kMenuScreenRecover, "화면 복귀\tESC", "Screen recover\tESC"},
    {Text::kMenuSkin, "스킨 선택", "Skin slelection"},
    {Text::kMenuOptions, "환경 설정\tF5", "Option  for programme circumstances\tF5"},
    {Text::kMenuRegion, "주파수 설정", "Frequency region"},
    {Text::kMenuRegionLBandEurope, "유럽 L-Band", "L-Band of Europe"},
    {Text::kMenuRegionBand3Europe, "유럽 Band3", "Band3 of Europe"},
    {Text::kMenuRegionSeoul, "한국 서울-경기", "Seoul-Gyeonggi of Korea"},
    {Text::kMenuRegionKorea, "한국 전역", "All of Korea"},
    {Text::kMenuRegionBeijing, "중국 북경", "Beijing"},
    {Text::kMenuRegionShanghai, "중국 상해", "Shanghai"},
    {Text::kMenuLanguage, "언어", "Language"},
    {Text::kMenuKorean, "한국어", "Korean"},
    {Text::kMenuEnglish, "영어", "English"},
    {Text::kMenuProgramInformation, "프로그램 정보\tI", "Program information\tI"},
    {Text::kMenuShortcutList, "단축키 목록\tF1", "Shortcut list\tF1"},
    {Text::kMenuUpdateCheck, "새 프로그램 확인 ", "Checking for New program "},
    {Text::kMenuExit, "종료\tAlt+F4", "Exit\tAlt+F4"},
    {Text::kTipTvConversion, "TV 전환 (T)", "TV conversion (T)"},
    {Text::kTipRadioConversion, "라디오 전환 (T)", "Radio conversion  (T)"},
    {Text::kTipDataConversion, "데이타 채널 전환", "Data channel conversion"},
    {Text::kTipChannelSearch, "채널검색 (F3)", "Channe search (F3)"},
    {Text::kTvChannelList, "TV 채널 목록", "TV Channel List"},
    {Text::kRadioChannelList, "라디오 채널 목록", "Radio Channel List"},
    {Text::kDataChannelList, "데이터 채널 목록", "Data Channel List"},
    {Text::kSearchTableFull,
     "100개가 넘는 서비스를 찾았습니다.\n처음 100개를 저장했습니다. (%d개 제외)",
     "More than 100 services were found.\nThe first 100 have been stored (%d left out)."},
    {Text::kCaptionFormat, "[%s: %s]", "[%s: %s]"},
    {Text::kChannelWord, "채널", "Channel"},
    {Text::kRecordMark, " REC", " REC"},
    {Text::kMuteFormat, "[   %s   ]", "[   %s   ]"},
    {Text::kMuteWord, "음소거", "Mute"},
    {Text::kVolumeFormat, "[%s: %d%s]", "[%s: %d%s]"},
    {Text::kVolumeWord, "볼륨", "Volume"},
};
// clang-format on

static_assert(std::size(kTable) == static_cast<size_t>(Text::kTextCount),
              "every text id has one entry");

constexpr bool EntriesInOrder() {
    for (size_t i = 0; i < std::size(kTable); ++i) {
        if (static_cast<size_t>(kTable[i].id) != i) return false;
    }
    return true;
}
static_assert(EntriesInOrder(), "entries follow the order of the ids");

}  // namespace

const char* Tr(Text id, int language) {
    const size_t index = static_cast<size_t>(id);
    if (index >= std::size(kTable)) return "";
    return language == 0 ? kTable[index].korean : kTable[index].english;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(args);
    return text;
}

}  // namespace koru::player

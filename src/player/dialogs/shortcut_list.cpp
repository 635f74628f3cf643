#include "player/dialogs/shortcut_list.h"

namespace koru::player {

namespace {

constexpr ShortcutRow kRows[] = {
    {{"파일열기", "File Open"}, "O"},
    {{"파일 일시정지", "File Pause"}, "SPACE"},
    {{"정지", "Stop"}, "S"},
    {{"플레이", "Play"}, "P"},
    {{"채널 검색", "Channel Search"}, "F3"},
    {{"채널 목록", "Channel List"}, "L"},
    {{"채널 UP", "Channel Up"}, "Up"},
    {{"채널 DOWN", "Channel Down"}, "Down"},
    {{"채널 전환", "Channel conversion"}, "1 ~ 9"},
    {{"TV/라디오 전환", "TV/Radio conversion"}, "T"},
    {{"볼륨 조절 UP", "Volume up"}, "Right"},
    {{"볼륨 조절 DOWN", "Volume down"}, "Left"},
    {{"음소거", "Mute"}, "M"},
    {{"녹화", "Record"}, "R"},
    {{"예약 녹화", "Preengagement of recording"}, "B"},
    {{"캡쳐", "Capture"}, "C"},
    {{"화면 보통크기", "Normal size of screen"}, "Alt+1"},
    {{"화면 200%크기", "200% size of screen"}, "Alt+2"},
    {{"전체화면 전환", "Full screen"}, "Enter"},
    {{"전체화면 복구", "Screen recover"}, "Enter or ESC"},
    {{"환경 설정", "Option"}, "F5"},
    {{"프로그램 정보", "Information for KORU-DMB"}, "I"},
    {{"단축키 정보", "Shortcut list"}, "F1"},
    {{"종료", "Turn off"}, "Alt+F4"},
};

}  // namespace

std::span<const ShortcutRow> ShortcutRows() {
    return kRows;
}

}  // namespace koru::player

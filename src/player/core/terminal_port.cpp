#include "player/core/terminal_port.h"

#include "m4systems/padaudio/padaudio.h"
#include "m4systems/tsfeed/tsfeed.h"

namespace koru::player {

M4TerminalPort::~M4TerminalPort() {
    DeleteTerminal();
    DeletePluginManager();
    DeleteIniFile();
}

M4Err M4TerminalPort::ConnectURL(const std::string& url) {
    return M4T_ConnectURL(term_, url.c_str());
}

M4Err M4TerminalPort::CloseURL() {
    return M4T_CloseURL(term_);
}

M4Err M4TerminalPort::SetSize(uint32_t width, uint32_t height) {
    return M4T_SetSize(term_, width, height);
}

M4Err M4TerminalPort::SetPosition(int32_t x, int32_t y) {
    return M4T_SetPosition(term_, x, y);
}

M4Err M4TerminalPort::SetOption(uint32_t option, uint32_t value) {
    return M4T_SetOption(term_, option, value);
}

void M4TerminalPort::HideOsd(int hide) {
    M4T_HideOsd(term_, hide);
}

uint32_t M4TerminalPort::GetCurrentTimeInMS() {
    return M4T_GetCurrentTimeInMS(term_);
}

M4Err M4TerminalPort::PlayFromTime(uint32_t ms) {
    return M4T_PlayFromTime(term_, ms);
}

M4Err M4TerminalPort::SetTimeShiftParams(const std::string& path, uint32_t minutes) {
    return ::SetTimeShiftParams(path.c_str(), minutes);
}

M4Err M4TerminalPort::StartRecord(const std::string& path) {
    return M4T_StartRecord(term_, path.c_str());
}

M4Err M4TerminalPort::StopRecord() {
    return M4T_StopRecord(term_);
}

M4Err M4TerminalPort::CaptureScreen(M4CaptureRecord* record) {
    return M4T_CaptureScreen(term_, record);
}

int M4TerminalPort::GetCurrentRadioType(int live) {
    return ::GetCurrentRadioType(live);
}

void M4TerminalPort::PADDataInValidCheck(int signal) {
    ::PADDataInValidCheck(signal);
}

void M4TerminalPort::MOTInitVariable(int reset) {
    ::MOTInitVariable(reset);
}

void M4TerminalPort::DeleteTerminal() {
    if (term_ != nullptr) M4T_Delete(term_);
    term_ = nullptr;
}

void M4TerminalPort::DeletePluginManager() {
    if (plugins_ != nullptr) PM_Delete(plugins_);
    plugins_ = nullptr;
}

void M4TerminalPort::DeleteIniFile() {
    if (ini_ != nullptr) IF_Delete(ini_);
    ini_ = nullptr;
}

}  // namespace koru::player

// The terminal as the event window sees it: the calls it makes on its thread, and the three
// handles it deletes at exit in their order. M4TerminalPort forwards to the terminal library;
// tests put a recording stand-in in its place.
#ifndef PLAYER_CORE_TERMINAL_PORT_H
#define PLAYER_CORE_TERMINAL_PORT_H

#include <string>

#include "m4systems/inifile.h"
#include "m4systems/plugin.h"
#include "m4systems/terminal.h"

namespace koru::player {

class TerminalPort {
  public:
    virtual ~TerminalPort() = default;

    virtual M4Err ConnectURL(const std::string& url) = 0;
    virtual M4Err CloseURL() = 0;
    virtual M4Err SetSize(uint32_t width, uint32_t height) = 0;
    virtual M4Err SetPosition(int32_t x, int32_t y) = 0;
    virtual M4Err SetOption(uint32_t option, uint32_t value) = 0;
    virtual void HideOsd(int hide) = 0;
    virtual uint32_t GetCurrentTimeInMS() = 0;
    virtual M4Err PlayFromTime(uint32_t ms) = 0;
    // The time-shift cache of the transport-stream input (0 minutes: off).
    virtual M4Err SetTimeShiftParams(const std::string& path, uint32_t minutes) = 0;
    // Recording of the live input into path (".ts" or ".mp2"), and its end.
    virtual M4Err StartRecord(const std::string& path) = 0;
    virtual M4Err StopRecord() = 0;
    // A copy of the last picture; the caller frees record->pixels with free().
    virtual M4Err CaptureScreen(M4CaptureRecord* record) = 0;

    // The radio audio module's calls that the event and message windows make.
    virtual int GetCurrentRadioType(int live) = 0;
    virtual void PADDataInValidCheck(int signal) = 0;
    virtual void MOTInitVariable(int reset) = 0;

    // Exit: the terminal, then the plug-in manager, then the ini file.
    virtual void DeleteTerminal() = 0;
    virtual void DeletePluginManager() = 0;
    virtual void DeleteIniFile() = 0;
};

// The real terminal. Takes the three handles; those not deleted by the exit steps are deleted
// with the object, in the same order.
class M4TerminalPort : public TerminalPort {
  public:
    M4TerminalPort(M4Term* term, PluginManager* plugins, IniFile* ini)
        : term_(term), plugins_(plugins), ini_(ini) {}
    ~M4TerminalPort() override;

    M4Term* term() const { return term_; }
    PluginManager* plugins() const { return plugins_; }
    IniFile* ini() const { return ini_; }

    M4Err ConnectURL(const std::string& url) override;
    M4Err CloseURL() override;
    M4Err SetSize(uint32_t width, uint32_t height) override;
    M4Err SetPosition(int32_t x, int32_t y) override;
    M4Err SetOption(uint32_t option, uint32_t value) override;
    void HideOsd(int hide) override;
    uint32_t GetCurrentTimeInMS() override;
    M4Err PlayFromTime(uint32_t ms) override;
    M4Err SetTimeShiftParams(const std::string& path, uint32_t minutes) override;
    M4Err StartRecord(const std::string& path) override;
    M4Err StopRecord() override;
    M4Err CaptureScreen(M4CaptureRecord* record) override;
    int GetCurrentRadioType(int live) override;
    void PADDataInValidCheck(int signal) override;
    void MOTInitVariable(int reset) override;
    void DeleteTerminal() override;
    void DeletePluginManager() override;
    void DeleteIniFile() override;

  private:
    M4Term* term_;
    PluginManager* plugins_;
    IniFile* ini_;
};

}  // namespace koru::player

#endif

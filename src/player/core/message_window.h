// Velmar_message: the hidden window on the main thread that receives every message the event
// window forwards and turns it into what the user sees (message lines, signal bars, banners,
// message boxes), through the main window's logic, and the data services' labels, slideshow
// objects and websites into calls on the data-service display. It also owns the banner,
// recording-mark and data-service timers.
#ifndef PLAYER_CORE_MESSAGE_WINDOW_H
#define PLAYER_CORE_MESSAGE_WINDOW_H

#include <QObject>

#include <memory>
#include <string>

#include "m4systems/m4_types.h"
#include "player/core/data_service_port.h"
#include "player/core/main_controller.h"
#include "player/core/timer_map.h"

namespace koru::player {

namespace timer {
constexpr int kHideBanner = 2924;
constexpr int kRecordMarkOff = 2944;
constexpr int kRecordMarkOn = 2934;
constexpr int kDataServiceDirectory = 2954;
}  // namespace timer

class VelmarMessage : public QObject {
  public:
    // port: the radio module and plug-in calls (null: the real ones).
    explicit VelmarMessage(MainController& controller, DataServicePort* port = nullptr,
                           QObject* parent = nullptr);

    // The folder of the data channel tuned last, with its trailing "/" (empty before).
    const std::string& channel_data_folder() const { return channel_data_folder_; }

    TimerMap& timers() { return timers_; }

    // The recording indicator blinks, 1000 ms on, 1000 ms off, until stopped.
    void StartRecordBlink();
    void StopRecordBlink();

    // Handles one message as if it had been forwarded (tests and the main window use it).
    void Handle(uint32_t code, M4Param wparam, M4Param lparam);

  protected:
    void customEvent(QEvent* event) override;

  private:
    void OnTimer(int id);
    void ResetDataService();
    void Tuned(int watch_kind, int index);
    void TunedDataChannel(int index);
    void Label(M4Param charset);
    void SlideshowObject();
    void WebSite();
    void WeakSignal(Text text);
    void ReceiverLost(uint32_t code);

    MainController& controller_;
    PlayerState& state_;
    TimerMap timers_;
    std::unique_ptr<DataServicePort> own_port_;
    DataServicePort& port_;
    std::string channel_data_folder_;
    bool sound_unsupported_ = false;  // this tune's sound cannot be played
};

}  // namespace koru::player

#endif

// Faults injected into the stick from tests or rxsimctl. Shares of corrupted FIBs and packets
// are spread evenly (an error accumulator, not chance), so a share of 0.25 hits exactly every
// fourth one.
#ifndef USBDEV_RXSIM_FAULTS_H
#define USBDEV_RXSIM_FAULTS_H

#include <optional>

namespace rxsim {

class ShareCounter {
  public:
    void set_share(double share) {
        share_ = share < 0.0 ? 0.0 : share > 1.0 ? 1.0 : share;
        debt_ = 0.0;
    }
    double share() const { return share_; }
    // true for the next item that the share hits.
    bool Take() {
        debt_ += share_;
        if (debt_ < 1.0 - 1e-9) return false;
        debt_ -= 1.0;
        return true;
    }

  private:
    double share_ = 0.0;
    double debt_ = 0.0;
};

struct Faults {
    bool lock_lost = false;
    bool silence = false;
    bool no_hardware_id = false;
    bool firmware_control_byte = false;
    std::optional<double> level;
    ShareCounter fibs;
    ShareCounter packets;
};

}  // namespace rxsim

#endif

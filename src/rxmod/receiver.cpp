// The one receiver of the process.
#include "rxmod/receiver.h"

Receiver& BB_Receiver() {
    static Receiver receiver;
    return receiver;
}

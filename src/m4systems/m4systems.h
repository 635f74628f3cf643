/* The terminal library: every call the player and the plug-ins make. */
#ifndef M4SYSTEMS_M4SYSTEMS_H
#define M4SYSTEMS_M4SYSTEMS_H

#include "m4systems/bitstream.h"
#include "m4systems/clock.h"
#include "m4systems/inifile.h"
#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "m4systems/padaudio/padaudio.h"
#include "m4systems/plugin.h"
#include "m4systems/queue.h"
#include "m4systems/terminal.h"
#include "m4systems/thread.h"
#include "m4systems/tsfeed/tsfeed.h"

#endif

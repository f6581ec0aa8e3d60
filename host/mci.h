// The host's media control interface: the text commands a MIDI sequencer
// takes ("open <file> type sequencer alias MUSIC", "play MUSIC from 0",
// "stop MUSIC", "close all") and the auxiliary output's volume.
//
// No sequencer and no auxiliary output exist on this host.  Every command
// answers 0 (success), so a caller never takes a failure path, writes an
// empty answer when it is given room for one, and never posts the
// notification message a "notify" command asks for.  The commands are kept,
// in order, for tests (at most the last 256).
#pragma once

#include "host/host.h"

#include <cstdint>
#include <string>
#include <vector>

namespace host {

uint32_t MciSendString(const char* command, char* answer, uint32_t answerSize, HWND notifyWindow);
// Left and right volumes in the low and high 16 bits; nothing to set.
uint32_t AuxSetVolume(uint32_t device, uint32_t volume);

// The commands received so far, oldest first.
const std::vector<std::string>& MciCommands();
void ClearMciCommands();

}  // namespace host

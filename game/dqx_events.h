// Scripted events.
#pragma once

// One pass over the mission's events.
void RunEvents(int mode);

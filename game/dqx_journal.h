// The mission journal.
// Stand-ins under their final names: each only logs its call.
#pragma once

// The journal of the mission started.
void StartMissionJournal();
// The journal's close step.
void CloseJournal();

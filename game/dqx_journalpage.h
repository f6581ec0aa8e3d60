// The journal page of the menu: briefing, history and log.
#pragma once

// Menu page 5, every frame while the menu is open: draws nothing yet.
void JournalPage();

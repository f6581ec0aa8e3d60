// Translations of the mission's names.
// Stand-ins under their final names: each only logs its call.
#pragma once

// The mission's translated names loaded.
void LoadTranslations(int mission, int restoring);

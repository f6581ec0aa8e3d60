// The characters' per-frame pass: every character's step, and which of
// them are seen in the current room.
#pragma once

void UpdateCharacters();
void UpdateCharacterVisibility();

// Summoned allies.
// Stand-ins under their final names: each only logs its call.
#pragma once

// The two ally definitions and records made.
void CreateSummonedAllies();
// The allies' flags cleared.
void ClearAllyFlags();
// Every summoned ally dismissed.
void DismissAllAllies();

struct CharacterRecord;
// One frame of a summoned ally's time; 1 while the character is a live
// summoned ally (it is then shown wherever it is).
int UpdateSummonedAlly(CharacterRecord* character);

// One frame of the summoned allies: their time, their dismissal.
void UpdateAllies();

// Summoned allies.
// Stand-ins under their final names: each only logs its call.
#pragma once

// The two ally definitions and records made.
void CreateSummonedAllies();
// The allies' flags cleared.
void ClearAllyFlags();
// Every summoned ally dismissed.
void DismissAllAllies();

// One frame of the summoned allies: their time, their dismissal.
void UpdateAllies();

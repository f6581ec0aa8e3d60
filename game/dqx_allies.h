// Summoned allies.
// Stand-ins under their final names: each only logs its step
// (platform/step_log.h).
#pragma once

// The two ally definitions and records made.
void CreateSummonedAllies();
// The allies' flags cleared.
void ClearAllyFlags();
// Every summoned ally dismissed.
void DismissAllAllies();

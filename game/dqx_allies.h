// Summoned allies.
#pragma once

// One frame of the summoned allies: their time, their dismissal.
void UpdateAllies();

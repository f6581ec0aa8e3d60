// Combat: shots, hits and the witness effect.
// Stand-ins under their final names: each only logs its call.
#pragma once

// The hero's witness effect updated for the room.
void UpdateWitnessEffect();

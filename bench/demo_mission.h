// What the benchmarks of the game world share: one headless start of the
// program's services, once a process, with a main archive built like the
// demo's game.res (mission.mpl files, the rooms, the characters and their
// animations, the settings) in a scratch folder that becomes the current
// directory, the 3D memory and the engine's calls into the game.
#pragma once

// False when the archive cannot be made or opened.
bool PrepareDemoMissionArchive();

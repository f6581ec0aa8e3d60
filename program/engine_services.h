// The spine's wiring of the 3D engine's calls into the layers above it.
#pragma once

// Fills EngineServices with the game world's, the enemy manager's and the
// sound layer's routines, and the camera and enemy managers' host tables
// with the game world's.
void InstallEngineServices();

// In-engine cinematics: a scene, its actors and a camera track played in a
// loop of their own.
#pragma once

// Plays the cinematic named by the path without extension; 1 when played,
// 0 when its camera track does not exist, -1 when it cannot be read.
int PlayCinematic(const char* name);

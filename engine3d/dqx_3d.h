// 3D memory: the R&D pool and the scratch arrays of the software span buffer.
#pragma once

// Gives back the span buffer's two scratch arrays (each only when held); the
// pool itself stays until the process ends.
void Free_3DMemory();

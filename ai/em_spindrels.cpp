// Placeholder bodies until this module is written; each does nothing.
#include "ai/em_spindrels.h"

void EM_ProcessSpindrels(int32_t) {}

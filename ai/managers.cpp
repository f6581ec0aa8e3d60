// The two managers' open and close, with the call trace of their debug bit 1:
// thirty asterisks and the operation at entry, "End Of " and it at exit.
#include "ai/managers.h"

#include "platform/errors.h"

uint32_t EmDebugBits = 0;
uint32_t CmDebugBits = 0;
bool EmOpen = false;
bool CmOpen = false;
uint32_t CmCallCount = 0;
uint32_t EmStrategyFrames = 0;

namespace {

struct Traced {
    const char* name;
    uint32_t bits;
    Traced(const char* n, uint32_t b) : name(n), bits(b) {
        if (bits & 2) DebugLog("******************************%s()", name);
        RunTrace(name);
    }
    ~Traced() {
        if (bits & 2) DebugLog("End Of %s", name);
    }
};

}  // namespace

void EM_Open() {
    Traced t("EM_Open", EmDebugBits);
    DebugLog("Spindrel I.A. Manager Version 2.05 RC7");
    EmOpen = true;
    EmStrategyFrames = 0;
}

void EM_Close() {
    Traced t("EM_Close", EmDebugBits);
    EmOpen = false;
}

// No enemy acts yet: the frames are only counted.
int EM_UpdateStrategyMission() {
    ++EmStrategyFrames;
    return 0;
}

void EM_SetDebug(uint32_t bits) {
    EmDebugBits = bits & 3;
}

void CM_Open() {
    Traced t("CM_Open", CmDebugBits);
    CmOpen = true;
    CmCallCount = 0;
}

int CM_Close() {
    Traced t("CM_Close", CmDebugBits);
    if (!CmOpen) return -1;
    CmOpen = false;
    return 0;
}

void CM_SetDebug(uint32_t bits) {
    CmDebugBits = bits & 3;
}

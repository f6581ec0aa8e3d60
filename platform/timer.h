// Clocks and processor detection.
//
// Three clocks serve the program: millisecond readings of the tick count, a
// busy wait, and FrameTimer, the game loop's clock, which counts in units of a
// chosen rate (the game uses ticks of 1/70 s) on the high-resolution counter
// when there is one.
#pragma once

#include <cstdint>

struct FrameTimer {
    uint8_t Flags = 0;       // bit 0 high-resolution counter in use, bit 1 do not wait
    uint32_t Start = 0;      // counter (low 32 bits) or tick count at start
    int32_t Rate = 0;        // units per second
    float Scale = 0;         // units per counter step
    float Previous = 0;      // reading at the end of the last frame
    float Delta = 0;         // units since the previous reading
    int32_t DeltaUnits = 0;  // Delta truncated
    int32_t DoubleDelta = 0; // Delta x 2 truncated
    int32_t HalfDelta = 0;   // Delta x 0.5 truncated, at least 1
    int32_t reserved = 0;
    int32_t Minimum = 0;     // whole units that must pass: DeltaUnits must exceed it
};

constexpr uint8_t kTimerHiRes = 1;
constexpr uint8_t kTimerNoWait = 2;

// Filled by DetectProcessor; kept only for the call.
struct ProcessorRecord {
    char vendor[13];
    char name[32];
    int32_t cpuidAvailable;
    uint32_t signature;  // leaf 1 EAX
    uint32_t features;   // leaf 1 EDX, or leaf 0x80000001 EDX on AMD
};

uint32_t GetTimeMs();
uint32_t GetTimeSeconds();
// Spins until ms milliseconds of the tick count have passed; pumps nothing.
void WaitMs(uint32_t ms);

void FrameTimerInit(FrameTimer* timer, int32_t rate);
// Ends a frame: waits (pumping messages) until more than Minimum units have
// passed since the previous reading, unless bit 1 says not to wait.
void FrameTimerTick(FrameTimer* timer);
void FrameTimerReset(FrameTimer* timer);
void FrameTimerClearHiRes(FrameTimer* timer);

// Writes the processor class and the MMX and 3DNow! bits into EngineConfig.
void DetectProcessor(ProcessorRecord* record);
// 8 MB; not called by the game.
uint32_t MemoryHint();

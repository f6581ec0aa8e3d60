// Clocks and processor detection.
#include "platform/timer.h"

#include "host/host.h"
#include "platform/settings.h"
#include "platform/window.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

uint32_t GetTimeMs() {
    return host::GetTickCount();
}

uint32_t GetTimeSeconds() {
    return host::GetTickCount() / 1000;
}

void WaitMs(uint32_t ms) {
    uint32_t start = host::GetTickCount();
    // The unsigned difference keeps counting across the wrap at 2^32.
    while (host::GetTickCount() - start < ms) {
    }
}

void FrameTimerInit(FrameTimer* timer, int32_t rate) {
    timer->Previous = 0;
    timer->Rate = rate;
    // The last of eight readings counts.
    for (int i = 0; i < 8; ++i) {
        int64_t counter = 0, frequency = 0;
        if (host::QueryPerformanceCounter(&counter) && host::QueryPerformanceFrequency(&frequency) &&
            frequency > 0) {
            timer->Flags |= kTimerHiRes;
            timer->Scale = static_cast<float>(rate) / static_cast<float>(frequency);
            timer->Start = static_cast<uint32_t>(counter);
        } else {
            timer->Flags &= static_cast<uint8_t>(~kTimerHiRes);
            timer->Scale = static_cast<float>(rate) * 0.001f;
            timer->Start = host::GetTickCount();
        }
    }
    FrameTimerTick(timer);
}

// Truncation towards zero, held to the 32-bit range.
static int32_t Truncate(float value) {
    if (value >= 2147483647.0f) return INT32_MAX;
    if (value <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(value);
}

static uint32_t ReadClock(const FrameTimer* timer) {
    if (timer->Flags & kTimerHiRes) {
        int64_t counter = 0;
        host::QueryPerformanceCounter(&counter);
        return static_cast<uint32_t>(counter);
    }
    return host::GetTickCount();
}

void FrameTimerTick(FrameTimer* timer) {
    float reading;
    for (;;) {
        uint32_t elapsed = ReadClock(timer) - timer->Start;
        reading = static_cast<float>(elapsed) * timer->Scale;
        timer->Delta = reading - timer->Previous;
        timer->DeltaUnits = Truncate(timer->Delta);
        if (timer->Flags & kTimerNoWait) break;
        // A clock that wrapped or jumped back restarts the timer rather than
        // giving a negative frame.
        if (timer->DeltaUnits < 0) {
            FrameTimerInit(timer, timer->Rate);
            return;
        }
        // Until the frame is due the program may sleep in the message pump.
        if (timer->DeltaUnits <= timer->Minimum && timer->Rate > 0) {
            float ticksLeft = static_cast<float>(timer->Minimum + 1) - timer->Delta;
            host::IdleUntil(static_cast<uint32_t>(ticksLeft * 1000.0f / static_cast<float>(timer->Rate)));
        }
        PumpMessages();
        if (timer->DeltaUnits > timer->Minimum) break;
    }
    timer->HalfDelta = Truncate(timer->Delta * 0.5f);
    if (timer->HalfDelta == 0) timer->HalfDelta = 1;
    timer->Previous = reading;
    timer->DoubleDelta = Truncate(timer->Delta * 2.0f);
}

void FrameTimerReset(FrameTimer* timer) {
    timer->Delta = 0;
    timer->DeltaUnits = 0;
}

void FrameTimerClearHiRes(FrameTimer* timer) {
    timer->Flags &= static_cast<uint8_t>(~kTimerHiRes);
}

static void SetName(ProcessorRecord* record, const char* name) {
    std::snprintf(record->name, sizeof record->name, "%s", name);
}

void DetectProcessor(ProcessorRecord* record) {
    EngineConfig.Processor = 3;
    std::memset(record, 0, sizeof *record);
    if (!host::CpuidAvailable()) {
        EngineConfig.Processor = 4;
        return;
    }
    record->cpuidAvailable = 1;
    uint32_t regs[4];
    host::Cpuid(0, regs);
    std::memcpy(record->vendor, &regs[1], 4);
    std::memcpy(record->vendor + 4, &regs[3], 4);
    std::memcpy(record->vendor + 8, &regs[2], 4);
    record->vendor[12] = 0;
    host::Cpuid(1, regs);
    record->signature = regs[0];
    record->features = regs[3];
    EngineConfig.Processor = 5;
    bool mmx = (record->features >> 23) & 1;
    if (mmx) EngineConfig.SystemConfig |= 8;

    if (std::strcmp(record->vendor, "GenuineIntel") == 0) {
        SetName(record, mmx ? "Intel Pentium MMx" : "Intel Pentium");
        if ((record->signature & 0xF00) == 0x600) {
            EngineConfig.Processor = 6;
            SetName(record, "Intel Pentium Pro");
            if ((record->signature & 0xF0) > 0x2F) {
                EngineConfig.Processor = 7;
                SetName(record, "Intel Pentium II");
            }
        }
        if ((record->features >> 25) & 1) {
            SetName(record, "Intel Katmai");
            EngineConfig.Processor = 8;
        }
    } else if (std::strcmp(record->vendor, "AuthenticAMD") == 0) {
        host::Cpuid(0x80000001u, regs);
        record->features = regs[3];
        EngineConfig.SystemConfig |= 8;
        SetName(record, "AMD K6");
        if ((record->features >> 31) & 1) {
            EngineConfig.SystemConfig |= 0x10;
            SetName(record, "AMD K6/2");
        }
    } else if (std::strcmp(record->vendor, "CyrixInstead") == 0) {
        SetName(record, "Cyrix");
    }
}

uint32_t MemoryHint() {
    return 0x800000;
}

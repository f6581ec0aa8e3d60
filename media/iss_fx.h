// The audio pool and the sample cache.
//
// The sample readers take their memory through the audio pool's table,
// which has the memory manager's layout: a bump allocator over one block
// once it is given a base, the runtime heap (HeapHooks) until then.  This
// program never gives it a base.
//
// Sound effects are loaded on demand by file name into a small cache with a
// byte budget.  An entry leaves after 60000 ms without a lookup, when it is
// replaced (an idle entry of the lowest priority first, else the one used
// longest ago) or when the cache is flushed.
#pragma once

#include "media/sample.h"

#include <cstdint>

struct AudioPoolRecord {
    void* (*AllocZero)(uint32_t size);             // pool: zeroed block; heap: not cleared
    void (*Free)(void* block);                     // pool: only the last block goes back
    void* (*Realloc)(void* block, uint32_t size);  // pool: a new block with size bytes copied
    void (*Init)(void* base, uint32_t size);       // sets the pool's memory; none is fatal
    void (*Mark)();                                // remembers the offset
    void (*Release)(int32_t offset);               // back to the offset, or the mark when negative
    void (*Enable)(int flag);                      // on when a base is set; offset 0
    uint8_t* base;
    uint32_t size;
    uint32_t previous;  // offset of the last block handed out
    uint32_t offset;    // current offset
    uint32_t mark;
    uint32_t on;
    uint32_t cacheBudget;  // the sample cache's budget in bytes
    uint32_t overBudget;   // lookups made while the cache held more than its budget
};
extern AudioPoolRecord g_AudioPoolOps;

void* AudioPool_Alloc(uint32_t size);
void* AudioPool_AllocZero(uint32_t size);
void AudioPool_Free(void* block);
void* AudioPool_Realloc(void* block, uint32_t size);
void audioinit(void* base, uint32_t size);
void AudioPool_Mark();
void AudioPool_Release(int32_t offset);
void AudioPool_Enable(int flag);

struct SampleCacheEntry {
    SndSample sample;  // data is null in a free entry; priority as given at load
    uint32_t lastUse;  // GetTimeMs of the last lookup; ages are differences of it
    char name[32];     // terminated: names of 32 characters or more are not cached
};

extern SampleCacheEntry* g_SmpCache;
extern int g_SmpCacheCount;
extern uint32_t g_SmpBytesHeld;

constexpr uint32_t kSmpExpiryMs = 60000;

// Allocates and clears `count` entries with a budget of `kilobytes`.
void SMP_InitCache(int count, int kilobytes);
// The cached or freshly loaded sample of that name (letter case ignored),
// loaded from the current file table; none when the name does not exist,
// does not load, is 32 characters or longer (no sound) or no entry can be
// given up.
SndSample* SMP_Find(const char* name, uint8_t priority);
// Frees every entry not looked up for 60000 ms or more.
void SMP_ExpireCache();
// 1 when a voice bound to the sample plays.
int SMP_IsSampleInUse(SndSample* sample);
void SMP_FreeEntry(SampleCacheEntry* entry);
// Frees every loaded entry; flags bit 0 also frees the array.
void SMP_FlushCache(int flags);
// The over-budget counter, the budget left and the voices that play.
void SMP_CacheStats(uint32_t* overBudget, int32_t* freeBytes, int* playing);

// The audio pool and the sample cache.
#include "media/iss_fx.h"

#include "media/snd_layer.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "platform/timer.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

AudioPoolRecord g_AudioPoolOps = {
    AudioPool_AllocZero, AudioPool_Free, AudioPool_Realloc, audioinit, AudioPool_Mark, AudioPool_Release,
    AudioPool_Enable,    nullptr,        0,                 0,         0,              0,
    0,                   0,              0,
};

// ---------------------------------------------------------------------------
// The audio pool
// ---------------------------------------------------------------------------

void* AudioPool_Alloc(uint32_t size) {
    AudioPoolRecord& p = g_AudioPoolOps;
    uint64_t rounded = (uint64_t(size) + 3) & ~uint64_t(3);
    if (uint64_t(p.offset) + rounded > p.size) {
        ErrorHook(0x3002, static_cast<ErrorDetail>(rounded));
        return nullptr;  // when the report returns, nothing is handed out
    }
    p.previous = p.offset;
    p.offset = uint32_t(p.offset + rounded);
    return p.base + p.previous;
}

void* AudioPool_AllocZero(uint32_t size) {
    if (!g_AudioPoolOps.on) return HeapHooks.allocate(size ? size : 1);
    void* block = AudioPool_Alloc(size);
    if (block) std::memset(block, 0, size);
    return block;
}

void AudioPool_Free(void* block) {
    AudioPoolRecord& p = g_AudioPoolOps;
    if (p.on) {
        if (block && block == p.base + p.previous) p.offset = p.previous;
        return;
    }
    if (block) HeapHooks.free(block);
}

void* AudioPool_Realloc(void* block, uint32_t size) {
    AudioPoolRecord& p = g_AudioPoolOps;
    if (!p.on) return HeapHooks.reallocate(block, size ? size : 1);
    void* fresh = AudioPool_Alloc(size);
    // The old block lies before the new one, so size bytes from it stay in
    // the pool; the two may overlap.
    auto* old = static_cast<uint8_t*>(block);
    if (fresh && old >= p.base && old < static_cast<uint8_t*>(fresh)) std::memmove(fresh, old, size);
    return fresh;
}

void audioinit(void* base, uint32_t size) {
    if (!base) FatalError("iss_fx:audioinit %d failed", int(size));
    g_AudioPoolOps.base = static_cast<uint8_t*>(base);
    g_AudioPoolOps.size = size;
}

void AudioPool_Mark() {
    g_AudioPoolOps.mark = g_AudioPoolOps.offset;
}

void AudioPool_Release(int32_t offset) {
    g_AudioPoolOps.offset = offset >= 0 ? uint32_t(offset) : g_AudioPoolOps.mark;
    g_AudioPoolOps.previous = 0;
}

void AudioPool_Enable(int) {
    g_AudioPoolOps.on = g_AudioPoolOps.base ? 1 : 0;
    g_AudioPoolOps.offset = 0;
}

// ---------------------------------------------------------------------------
// The sample cache
// ---------------------------------------------------------------------------

SampleCacheEntry* g_SmpCache = nullptr;
int g_SmpCacheCount = 0;
uint32_t g_SmpBytesHeld = 0;

namespace {

// Milliseconds since the entry's last lookup, correct across the wrap of
// the 32-bit clock.
uint32_t Age(const SampleCacheEntry& e, uint32_t now) {
    return now - e.lastUse;
}

bool Loaded(const SampleCacheEntry& e) {
    return e.sample.data != nullptr;
}

// A name the entry keeps whole with its end: 31 characters at most.  A
// longer one is no sound rather than a cut name that could be another
// file's.
bool NameFits(const char* name) {
    return std::strlen(name) < sizeof SampleCacheEntry::name;
}

// The name the entry keeps equals the name asked for, letter case ignored.
bool SameName(const SampleCacheEntry& e, const char* name) {
    return strncasecmp(e.name, name, sizeof e.name) == 0;
}

struct Choice {
    SampleCacheEntry* free = nullptr;
    SampleCacheEntry* oldest = nullptr;
    SampleCacheEntry* victim = nullptr;
};

SampleCacheEntry* Replacement(const Choice& c) {
    return c.victim ? c.victim : c.oldest;
}

}  // namespace

void SMP_InitCache(int count, int kilobytes) {
    RunTrace("SMP_InitCache");
    SMP_FlushCache(1);
    count = std::max(count, 0);
    g_SmpCache = static_cast<SampleCacheEntry*>(HeapHooks.allocate(size_t(std::max(count, 1)) * sizeof(SampleCacheEntry)));
    if (!g_SmpCache) return;
    for (int i = 0; i < count; ++i) g_SmpCache[i] = SampleCacheEntry{};
    g_SmpCacheCount = count;
    g_AudioPoolOps.cacheBudget = uint32_t(std::max(kilobytes, 0)) * 1024u;
    g_AudioPoolOps.overBudget = 0;
}

void SMP_FreeEntry(SampleCacheEntry* entry) {
    if (!entry) return;
    SND_FreeSampleVoices(&entry->sample);
    g_SmpBytesHeld -= std::min(g_SmpBytesHeld, entry->sample.length);
    SND_FreeSampleData(&entry->sample.data);
    *entry = SampleCacheEntry{};
}

void SMP_ExpireCache() {
    uint32_t now = GetTimeMs();
    for (int i = 0; i < g_SmpCacheCount; ++i) {
        SampleCacheEntry& e = g_SmpCache[i];
        // A loaded entry counts as used even when its lookup fell on the
        // clock's 0.
        if ((e.lastUse || Loaded(e)) && Age(e, now) >= kSmpExpiryMs) SMP_FreeEntry(&e);
    }
}

int SMP_IsSampleInUse(SndSample* sample) {
    for (int v = 0; v < kSndVoices; ++v)
        if (g_SndVoices[v].sample == sample && SND_IsVoicePlaying(v)) return 1;
    return 0;
}

SndSample* SMP_Find(const char* name, uint8_t priority) {
    if (!name || !NameFits(name)) return nullptr;
    if (g_SmpCacheCount == 0) SMP_InitCache(16, 512);
    SMP_ExpireCache();
    uint32_t now = GetTimeMs();
    Choice c;
    uint8_t best = priority;
    uint32_t oldestAge = 0;
    for (int i = 0; i < g_SmpCacheCount; ++i) {
        SampleCacheEntry& e = g_SmpCache[i];
        if (!Loaded(e)) {
            if (!c.free) c.free = &e;
            continue;
        }
        if (SameName(e, name)) {
            e.lastUse = now;
            return &e.sample;
        }
        if (!c.oldest || Age(e, now) > oldestAge) {
            c.oldest = &e;
            oldestAge = Age(e, now);
        }
        // The idle entry of the lowest priority, the last one among equals.
        if (e.sample.priority != 0 && e.sample.priority <= best && !SMP_IsSampleInUse(&e.sample)) {
            c.victim = &e;
            best = e.sample.priority;
        }
    }
    if (c.oldest && oldestAge >= kSmpExpiryMs) c.victim = nullptr;
    SampleCacheEntry* chosen;
    if (g_SmpBytesHeld > g_AudioPoolOps.cacheBudget) {
        ++g_AudioPoolOps.overBudget;
        chosen = Replacement(c);
    } else {
        chosen = c.free ? c.free : Replacement(c);
    }
    if (!chosen) return nullptr;
    if (!CurrentFileTable->Exists(name)) return nullptr;
    if (Loaded(*chosen)) SMP_FreeEntry(chosen);
    *chosen = SampleCacheEntry{};
    std::memcpy(chosen->name, name, std::strlen(name) + 1);
    SMP_LoadSample(&chosen->sample, name);
    chosen->sample.priority = priority;
    g_SmpBytesHeld += chosen->sample.length;
    chosen->lastUse = now;
    // A file that did not load leaves the entry free for the next lookup.
    return Loaded(*chosen) ? &chosen->sample : nullptr;
}

void SMP_FlushCache(int flags) {
    for (int i = 0; i < g_SmpCacheCount; ++i) {
        SampleCacheEntry& e = g_SmpCache[i];
        if (Loaded(e)) {
            SND_FreeSampleVoices(&e.sample);
            SND_FreeSampleData(&e.sample.data);
        }
        e = SampleCacheEntry{};
    }
    g_SmpBytesHeld = 0;
    if (flags & 1) {
        if (g_SmpCache) HeapHooks.free(g_SmpCache);
        g_SmpCache = nullptr;
        g_SmpCacheCount = 0;
    }
}

void SMP_CacheStats(uint32_t* overBudget, int32_t* freeBytes, int* playing) {
    if (overBudget) *overBudget = g_AudioPoolOps.overBudget;
    if (freeBytes) *freeBytes = int32_t(g_AudioPoolOps.cacheBudget - g_SmpBytesHeld);
    if (playing) {
        int n = 0;
        for (int v = 0; v < kSndVoices; ++v) n += SND_IsVoicePlaying(v);
        *playing = n;
    }
}

// Carving, marking and releasing pool blocks: the pool is a bump allocator
// and each of these should stay constant-time.
#include "platform/memory.h"
#include "platform/settings.h"

#include <benchmark/benchmark.h>

#include <vector>

static void BM_PoolCarveAndRelease(benchmark::State& state) {
    std::vector<uint8_t> pool(1 << 24);
    EngineConfig.MemoryAlignment = static_cast<uint8_t>(state.range(0));
    MemInitPool(pool.data(), static_cast<uint32_t>(pool.size()));
    MemEnable();
    MemMark();
    for (auto _ : state) {
        for (int i = 0; i < 256; ++i) benchmark::DoNotOptimize(PoolBlock(static_cast<uint32_t>(16 + (i & 63) * 8)));
        MemRelease(-1);
    }
    state.SetItemsProcessed(state.iterations() * 256);
    MemoryManager.base = nullptr;
    MemEnable();
}
BENCHMARK(BM_PoolCarveAndRelease)->Arg(0)->Arg(1)->Arg(2);

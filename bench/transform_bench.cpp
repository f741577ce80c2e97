// Google Benchmark of the chunk operations and the chunk comparison on memory buffers, beside memcpy.
#include "engine/transform.h"
#include "engine/verify.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

// Three buffers of one size with fixed, unlike contents.
struct Buffers {
    explicit Buffers(size_t size) : first(size), second(size), out(size)
    {
        for (size_t i = 0; i < size; ++i) {
            first[i] = static_cast<uint8_t>(i * 7);
            second[i] = static_cast<uint8_t>(i * 13 + 1);
        }
    }
    std::vector<uint8_t> first;
    std::vector<uint8_t> second;
    std::vector<uint8_t> out;
};

void finish(benchmark::State& state, size_t size)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

template <void (*Op)(const uint8_t*, const uint8_t*, uint8_t*, size_t)>
void chunkOp(benchmark::State& state)
{
    size_t size = static_cast<size_t>(state.range(0));
    Buffers b(size);
    for (auto _ : state) {
        Op(b.first.data(), b.second.data(), b.out.data(), size);
        benchmark::DoNotOptimize(b.out.data());
        benchmark::ClobberMemory();
    }
    finish(state, size);
}

void BM_SubtractChunk(benchmark::State& state) { chunkOp<mdSubtractChunk>(state); }
void BM_AddChunk(benchmark::State& state) { chunkOp<mdAddChunk>(state); }

// Two equal full chunks: every pass is compared, none ends the files.
void BM_CompareChunk(benchmark::State& state)
{
    Buffers b(MD_CHUNK_SIZE);
    b.out = b.second;
    int result = 0;
    for (auto _ : state) {
        result = mdCompareChunk(b.second.data(), MD_CHUNK_SIZE, b.out.data(), MD_CHUNK_SIZE);
        benchmark::DoNotOptimize(result);
    }
    if (result != MD_CHUNK_CONTINUES) {
        state.SkipWithError("equal chunks compared unequal");
    }
    finish(state, MD_CHUNK_SIZE);
}

// The memory floor: one copy of the same bytes.
void BM_Memcpy(benchmark::State& state)
{
    size_t size = static_cast<size_t>(state.range(0));
    Buffers b(size);
    for (auto _ : state) {
        std::memcpy(b.out.data(), b.second.data(), size);
        benchmark::DoNotOptimize(b.out.data());
        benchmark::ClobberMemory();
    }
    finish(state, size);
}

}  // namespace

BENCHMARK(BM_SubtractChunk)->Arg(MD_BLOCK_SIZE)->Arg(MD_CHUNK_SIZE);
BENCHMARK(BM_AddChunk)->Arg(MD_BLOCK_SIZE)->Arg(MD_CHUNK_SIZE);
BENCHMARK(BM_CompareChunk);
BENCHMARK(BM_Memcpy)->Arg(MD_BLOCK_SIZE)->Arg(MD_CHUNK_SIZE);

BENCHMARK_MAIN();

// Window reads through ByteSource from an in-memory image: the cost of the checks and copy.
#include "sacd/image.h"

#include <benchmark/benchmark.h>

static void BM_ByteSourceMemoryWindow(benchmark::State& state) {
    std::vector<std::uint8_t> image(64u << 20, 0x5A);
    auto src = sacd::ByteSource::memory(image);
    const auto len = static_cast<std::uint64_t>(state.range(0));
    std::uint64_t offset = 0;
    for (auto _ : state) {
        auto r = src.read_at(offset, len);
        benchmark::DoNotOptimize(r);
        offset = (offset + len) % (image.size() - len);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ByteSourceMemoryWindow)->Arg(2048)->Arg(1 << 20);

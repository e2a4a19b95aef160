// The attachment encoder with its line breaks, on one core.
#include "mail/Base64.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

void EncodeWithLineBreaks(benchmark::State& state)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    std::vector<unsigned char> input(size);
    std::mt19937 random(1);
    for (auto& byte : input)
        byte = static_cast<unsigned char>(random());
    std::vector<char> output(
        static_cast<std::size_t>(turnpost::Base64BufferSize(static_cast<std::int64_t>(size))));
    for (auto _ : state) {
        std::size_t length = 0;
        turnpost::EncodeBase64(input.data(), size, output.data(), output.size(), &length);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}

} // namespace

BENCHMARK(EncodeWithLineBreaks)->Arg(64 << 10)->Arg(64 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();

// Counts the largest single allocation, to show that a length read from a file is never allocated
// before the bytes it promises are known to be there.
#include "setup/SetupFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> LargestAllocation{0};
}

void* operator new(std::size_t size)
{
    std::size_t largest = LargestAllocation.load();
    while (size > largest && !LargestAllocation.compare_exchange_weak(largest, size)) {
    }
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
// The replaced new above allocates with malloc, so free is the matching release; GCC's optimiser
// cannot see that pairing across the replacement and warns.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

using namespace turnpost;

TEST(SetupFileRead, AbsurdLengthsFailWithoutBeingAllocated)
{
    const std::string lead = "\x0Ctasha (woof)" + std::string("\x03\0\0\0\0\0\0\0\x07\0\0\0", 12);
    const std::string cases[] = {
        lead + "\xFF\xFF\xFF\xFF\xFF\xFF\xFF" + "short",
        lead + "\xFF\xFF\xFF\xFF\xFF\xFF\x7F" + "short",
        lead + "\xFF\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF" + "short",
        "\xFF\xFF\xFF\xFF\xFF\xFF\xFF" + std::string("short"),
    };
    for (const auto& bytes : cases) {
        LargestAllocation = 0;
        GameSetup setup;
        EXPECT_EQ(ParseSetup(bytes, setup).Status, SetupParseResult::PastEnd);
        EXPECT_LT(LargestAllocation.load(), 4096u);
    }
}

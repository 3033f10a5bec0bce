// The document's store under AddressSanitizer: exactly what allocate hands out is addressable, so
// a write one past a name, a value or a child array is reported. Skipped in builds without it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "document/document.h"

#if QM_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

using namespace qm;

namespace {

constexpr size_t kChunk = size_t(1) << 20;

#if QM_ADDRESS_SANITIZER
bool poisoned(const void* p) { return __asan_address_is_poisoned(p) != 0; }
bool addressable(const void* p, size_t n) { return __asan_region_is_poisoned(const_cast<void*>(p), n) == nullptr; }
#endif

}  // namespace

// Sizes on and off the 8-byte grid, from a chunk, from a chunk of its own and from a reused
// file space: every handed-out byte is addressable, the byte after it and the bytes up to the
// next allocation are not.
TEST(ArenaPoisoning, OnlyHandedOutBytesAreAddressable) {
#if !QM_ADDRESS_SANITIZER
    GTEST_SKIP() << "built without AddressSanitizer";
#else
    const size_t sizes[] = {1, 4, 7, 8, 12, 16, 100, 4096, kChunk / 4, kChunk / 4 + 1, 2 * kChunk};
    for (bool adopted : {false, true}) {
        Arena store;
        if (adopted) {
            std::memset(store.fileSpace(8 * kChunk), 0xAB, 8 * kChunk);
            store.reuseFileSpace();
        }
        for (size_t size : sizes) {
            char* first = static_cast<char*>(store.allocate(size));
            char* second = static_cast<char*>(store.allocate(size));
            for (char* p : {first, second}) {
                EXPECT_TRUE(addressable(p, size)) << size;
                EXPECT_TRUE(poisoned(p + size)) << size << (adopted ? " adopted" : "");
                std::memset(p, 0x5A, size);
            }
            // Nothing between two allocations carved from the same space is addressable.
            const bool carved = adopted || size <= kChunk / 4;
            if (carved && second > first && size_t(second - first) < kChunk) {
                for (char* p = first + size; p < second; ++p) ASSERT_TRUE(poisoned(p)) << size;
                EXPECT_GE(size_t(second - first), size + Arena::kRedZoneBytes);
            }
        }
    }
#endif
}

// The report itself: a write one past a 13-byte allocation ends the program with AddressSanitizer's
// message, also when the allocation ends on the 8-byte grid.
TEST(ArenaPoisoningDeathTest, WriteOnePastAnAllocationIsReported) {
#if !QM_ADDRESS_SANITIZER
    GTEST_SKIP() << "built without AddressSanitizer";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (size_t size : {size_t(13), size_t(16)}) {
        EXPECT_DEATH(
            {
                Arena store;
                char* p = static_cast<char*>(store.allocate(size));
                store.allocate(size);
                volatile char* past = p + size;
                *past = 1;
            },
            "use-after-poison")
            << size;
    }
#endif
}

// In the 64-bit builds the store lives in one reserved range, so that a node's links reach any
// other node in 32 bits: a request the range cannot hold fails as memory does (the viewer says it
// has not enough memory), and the store goes on serving what fits.
TEST(Arena, RequestBeyondTheRangeFailsAsMemoryDoes) {
#if !QM_RELATIVE_LINKS
    GTEST_SKIP() << "the 32-bit build links by pointer";
#else
    Arena store;
    char* before = static_cast<char*>(store.allocate(100));
    EXPECT_THROW(store.allocate(Arena::kRangeBytes), std::bad_alloc);
    EXPECT_THROW(store.fileSpace(Arena::kRangeBytes + 1), std::bad_alloc);
    char* after = static_cast<char*>(store.allocate(100));
    std::memset(after, 1, 100);
    EXPECT_TRUE(after > before && after - before < ptrdiff_t(kChunk)) << "the failed requests took no space";
#endif
}

// The store's range is committed contiguously, so a request that does not fit what is left of a
// chunk continues into the next one instead of leaving the remainder unused: node blocks among
// small texts and child arrays (a block a chunk does not hold a whole number of times) cost what
// they ask, not up to a block more per chunk.
TEST(Arena, NoRemainderIsLeftBehind) {
#if !QM_RELATIVE_LINKS
    GTEST_SKIP() << "the 32-bit build takes chunks from the heap";
#else
    for (bool adopted : {false, true}) {
        Arena store;
        size_t asked = 0;
        if (adopted) {
            store.fileSpace(3 * kChunk + 5);  // filled first, then continued
            store.reuseFileSpace();
        }
        for (int round = 0; round < 256; ++round)
            for (size_t size : {size_t(131072), size_t(40), size_t(1000)}) {
                store.allocate(size);
                asked += (size + Arena::kRedZoneBytes + 7) & ~size_t(7);
            }
        EXPECT_GE(store.bytesReserved(), asked);
        EXPECT_LT(store.bytesReserved() - asked, kChunk) << (adopted ? "after the file space" : "");
    }
#endif
}

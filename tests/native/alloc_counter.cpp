#include "tests/native/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int64_t> gLiveBytes{0};
std::atomic<int64_t> gLiveBlocks{0};
std::atomic<int64_t> gLiveBig{0};
thread_local int tFakesOwn = 0;

// Each block carries its size in front, so delete knows what it frees, and
// whether it was counted.
struct Header {
    size_t size;
    bool counted;
};
constexpr size_t kHeader = alignof(std::max_align_t);
static_assert(sizeof(Header) <= kHeader, "the header must fit in front of the block");

void Count(size_t size, int sign) {
    gLiveBytes += sign * static_cast<int64_t>(size);
    gLiveBlocks += sign;
    if (size >= kBigBlockBytes) {
        gLiveBig += sign;
    }
}

void* Allocate(size_t size) {
    void* raw = std::malloc(size + kHeader);
    if (!raw) {
        throw std::bad_alloc();
    }
    Header* header = static_cast<Header*>(raw);
    header->size = size;
    header->counted = tFakesOwn == 0;
    if (header->counted) {
        Count(size, 1);
    }
    return static_cast<char*>(raw) + kHeader;
}

void Release(void* block) {
    if (!block) {
        return;
    }
    void* raw = static_cast<char*>(block) - kHeader;
    const Header* header = static_cast<const Header*>(raw);
    if (header->counted) {
        Count(header->size, -1);
    }
    std::free(raw);
}

} // namespace

int64_t LiveHeapBytes() { return gLiveBytes.load(); }
int64_t LiveHeapBlocks() { return gLiveBlocks.load(); }
int64_t LiveBigBlocks() { return gLiveBig.load(); }

FakesOwnHeap::FakesOwnHeap() { ++tFakesOwn; }
FakesOwnHeap::~FakesOwnHeap() { --tFakesOwn; }
void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, size_t) noexcept { Release(block); }
void operator delete[](void* block, size_t) noexcept { Release(block); }

#include "tests/native/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int64_t> gLiveBytes{0};
std::atomic<int64_t> gLiveBig{0};

// Each block carries its size in front, so delete knows what it frees.
constexpr size_t kHeader = alignof(std::max_align_t);

void* Allocate(size_t size) {
    void* raw = std::malloc(size + kHeader);
    if (!raw) {
        throw std::bad_alloc();
    }
    *static_cast<size_t*>(raw) = size;
    gLiveBytes += static_cast<int64_t>(size);
    if (size >= kBigBlockBytes) {
        ++gLiveBig;
    }
    return static_cast<char*>(raw) + kHeader;
}

void Release(void* block) {
    if (!block) {
        return;
    }
    void* raw = static_cast<char*>(block) - kHeader;
    const size_t size = *static_cast<size_t*>(raw);
    gLiveBytes -= static_cast<int64_t>(size);
    if (size >= kBigBlockBytes) {
        --gLiveBig;
    }
    std::free(raw);
}

} // namespace

int64_t LiveHeapBytes() {
    return gLiveBytes.load();
}

int64_t LiveBigBlocks() {
    return gLiveBig.load();
}

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void operator delete(void* block) noexcept {
    Release(block);
}
void operator delete[](void* block) noexcept {
    Release(block);
}
void operator delete(void* block, size_t) noexcept {
    Release(block);
}
void operator delete[](void* block, size_t) noexcept {
    Release(block);
}

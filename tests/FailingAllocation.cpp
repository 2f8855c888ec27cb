#include "FailingAllocation.h"

#include <cstdlib>
#include <new>

namespace {

thread_local size_t Countdown = 0; // 0: nothing armed
thread_local bool HasFailed = false;

void* Allocate(size_t size) {
    if (Countdown > 0 && --Countdown == 0) {
        HasFailed = true;
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

void* AllocateAligned(size_t size, std::align_val_t alignment) {
    if (Countdown > 0 && --Countdown == 0) {
        HasFailed = true;
        throw std::bad_alloc();
    }
    const size_t align = static_cast<size_t>(alignment);
    if (void* block = std::aligned_alloc(align, (size + align - 1) / align * align)) return block;
    throw std::bad_alloc();
}

} // namespace

TFailingAllocation::TFailingAllocation(size_t n) {
    Countdown = n;
    HasFailed = false;
}

TFailingAllocation::~TFailingAllocation() {
    Countdown = 0;
}

bool TFailingAllocation::Failed() const {
    return HasFailed;
}

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(size_t size, std::align_val_t alignment) {
    return AllocateAligned(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment) {
    return AllocateAligned(size, alignment);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete(void* block, size_t, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, size_t, std::align_val_t) noexcept {
    std::free(block);
}

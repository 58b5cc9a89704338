#include "AllocationCounter.h"

#include <atomic>
#include <cstddef>
#include <cerrno>
#include <cstdlib>
#include <new>

// glibc's own allocator under its public names, which the definitions below replace.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {

std::atomic<uint64_t> allocations{0};
// Plain data, so reading it inside malloc allocates nothing.
thread_local int uncountedDepth = 0;

void* Counted(void* pointer)
{
    if (uncountedDepth == 0) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    return pointer;
}

void* NewOrThrow(size_t size)
{
    void* pointer = __libc_malloc(size == 0 ? 1 : size);
    if (pointer == nullptr) {
        throw std::bad_alloc();
    }
    return Counted(pointer);
}

} // namespace

uint64_t quenra::bench::AllocationsSoFar()
{
    return allocations.load(std::memory_order_relaxed);
}

quenra::bench::UncountedScope::UncountedScope()
{
    ++uncountedDepth;
}

quenra::bench::UncountedScope::~UncountedScope()
{
    --uncountedDepth;
}

extern "C" {
void* malloc(size_t size)
{
    return Counted(__libc_malloc(size));
}
void* calloc(size_t count, size_t size)
{
    return Counted(__libc_calloc(count, size));
}
void* realloc(void* pointer, size_t size)
{
    return Counted(__libc_realloc(pointer, size));
}
void* memalign(size_t alignment, size_t size)
{
    return Counted(__libc_memalign(alignment, size));
}
void* aligned_alloc(size_t alignment, size_t size)
{
    return Counted(__libc_memalign(alignment, size));
}
int posix_memalign(void** pointer, size_t alignment, size_t size)
{
    *pointer = Counted(__libc_memalign(alignment, size));
    return *pointer != nullptr ? 0 : ENOMEM;
}
}

// The aligned forms of operator new reach aligned_alloc above; operator delete stays glibc's free.
void* operator new(size_t size)
{
    return NewOrThrow(size);
}
void* operator new[](size_t size)
{
    return NewOrThrow(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return Counted(__libc_malloc(size == 0 ? 1 : size));
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return Counted(__libc_malloc(size == 0 ? 1 : size));
}

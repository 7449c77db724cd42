// Memory for buffer pools: blocks that stay at one address from allocation to release, so a
// driver may hold them. Allocation and locking are separate steps, each of which can fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

struct MemoryBlock {
    void* handle = nullptr;
    size_t size = 0;
    explicit operator bool() const { return handle != nullptr; }
};

class PoolMemory {
  public:
    virtual MemoryBlock allocate(size_t size, bool zeroed) noexcept = 0;  // empty block on failure
    virtual std::byte* lock(const MemoryBlock& block) noexcept = 0;       // null on failure
    virtual void unlock(const MemoryBlock& block) noexcept = 0;
    virtual void release(MemoryBlock& block) noexcept = 0;  // clears the block

  protected:
    ~PoolMemory() = default;
};

// Plain process heap: allocation fails only when the heap does, locking never fails.
PoolMemory& heapMemory();

}  // namespace platform

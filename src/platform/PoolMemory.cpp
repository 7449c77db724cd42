#include "platform/PoolMemory.h"

#include <cstdlib>
#include <new>

namespace platform {

namespace {

class HeapMemory final : public PoolMemory {
  public:
    MemoryBlock allocate(size_t size, bool zeroed) noexcept override {
        void* p = zeroed ? std::calloc(1, size == 0 ? 1 : size) : std::malloc(size == 0 ? 1 : size);
        return p ? MemoryBlock{p, size} : MemoryBlock{};
    }
    std::byte* lock(const MemoryBlock& block) noexcept override {
        return static_cast<std::byte*>(block.handle);
    }
    void unlock(const MemoryBlock&) noexcept override {}
    void release(MemoryBlock& block) noexcept override {
        std::free(block.handle);
        block = {};
    }
};

}  // namespace

PoolMemory& heapMemory() {
    static HeapMemory memory;
    return memory;
}

}  // namespace platform

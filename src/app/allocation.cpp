// The global allocation functions of the programs that link mimalloc
// (vellrun_allocator). Its own `new` ends the process when no memory is
// left: built as C, it never sees the new-handler a program installs, and
// without one it aborts instead of throwing. These replacements take the
// same memory through its malloc and do what the language asks: call the
// new-handler while there is one, then throw std::bad_alloc, so that the
// places that expect it (reading a large file, loading an image) tell the
// person there is not enough memory instead of the program vanishing.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

void* Allocate(std::size_t size) {
    if (size == 0) size = 1;
    for (;;) {
        if (void* block = std::malloc(size)) return block;
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
    const auto align = static_cast<std::size_t>(alignment);
    // aligned_alloc takes whole multiples of the alignment only.
    if (size > SIZE_MAX - align) throw std::bad_alloc();
    const std::size_t rounded = size == 0 ? align : (size + align - 1) / align * align;
    for (;;) {
        if (void* block = std::aligned_alloc(align, rounded)) return block;
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return AllocateAligned(size, alignment);
}

// Freed by the same allocator's free, whichever way the block was asked for.
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t /*size*/) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t /*size*/) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t /*alignment*/) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::align_val_t /*alignment*/) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t /*size*/, std::align_val_t /*alignment*/) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t /*size*/, std::align_val_t /*alignment*/) noexcept {
    std::free(block);
}

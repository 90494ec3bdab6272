#include <Graphics/MacMemory.h>
#include <Graphics/MacMemoryStandIn.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

namespace {

constexpr OSErr nilHandleErr = -109;

// Far beyond anything the pane keeps in a handle; a request past it is a caller's arithmetic
// gone wrong, refused before it reaches the allocator.
constexpr Size kMaxHandleSize = Size { 1 } << 30;

// The master pointer is the first thing in the block so that the handle, its address, stays
// put while the data behind it moves on a resize.
struct HandleBlock {
    Ptr master { nullptr };
    Size size { 0 };
    std::unique_ptr<char[]> storage;
};

std::unordered_map<Handle, std::unique_ptr<HandleBlock>>& liveHandles()
{
    static std::unordered_map<Handle, std::unique_ptr<HandleBlock>> handles;
    return handles;
}

thread_local OSErr gMemError = noErr;

HandleBlock* blockFor(Handle h)
{
    if (!h)
        return nullptr;
    auto found = liveHandles().find(h);
    return found == liveHandles().end() ? nullptr : found->second.get();
}

// Even an empty block has storage, so that *h is never null for a live handle.
std::unique_ptr<char[]> allocate(Size size)
{
    return std::unique_ptr<char[]>(new (std::nothrow) char[static_cast<size_t>(std::max<Size>(size, 1))]());
}

}

Handle NewHandle(Size byteCount)
{
    if (byteCount < 0 || byteCount > kMaxHandleSize) {
        gMemError = byteCount < 0 ? OSErr { paramErr } : OSErr { memFullErr };
        return nullptr;
    }
    auto block = std::unique_ptr<HandleBlock>(new (std::nothrow) HandleBlock);
    auto storage = allocate(byteCount);
    if (!block || !storage) {
        gMemError = memFullErr;
        return nullptr;
    }
    block->storage = std::move(storage);
    block->master = block->storage.get();
    block->size = byteCount;
    Handle h = &block->master;
    liveHandles().emplace(h, std::move(block));
    gMemError = noErr;
    return h;
}

void DisposeHandle(Handle h)
{
    if (!h) {
        gMemError = noErr;
        return;
    }
    gMemError = liveHandles().erase(h) ? OSErr { noErr } : nilHandleErr;
}

Size GetHandleSize(Handle h)
{
    HandleBlock* block = blockFor(h);
    gMemError = block ? OSErr { noErr } : nilHandleErr;
    return block ? block->size : 0;
}

void SetHandleSize(Handle h, Size newSize)
{
    HandleBlock* block = blockFor(h);
    if (!block) {
        gMemError = nilHandleErr;
        return;
    }
    if (newSize < 0 || newSize > kMaxHandleSize) {
        gMemError = newSize < 0 ? OSErr { paramErr } : OSErr { memFullErr };
        return;
    }
    auto storage = allocate(newSize);
    if (!storage) {
        gMemError = memFullErr;
        return;
    }
    memcpy(storage.get(), block->storage.get(), static_cast<size_t>(std::min(block->size, newSize)));
    block->storage = std::move(storage);
    block->master = block->storage.get();
    block->size = newSize;
    gMemError = noErr;
}

OSErr MemError(void)
{
    return gMemError;
}

// Blocks move only when their size changes, which a locked handle's owner does not ask for, so
// locking has nothing to prevent here.
void HLock(Handle h)
{
    gMemError = blockFor(h) ? OSErr { noErr } : nilHandleErr;
}

void HUnlock(Handle h)
{
    gMemError = blockFor(h) ? OSErr { noErr } : nilHandleErr;
}

long StandIn::liveHandleCount()
{
    return static_cast<long>(liveHandles().size());
}

// Patching the real objects' vtables. Each distinct vtable is patched once,
// and a copy of it taken before is kept: the hooks find the original methods
// through the object's own vtable pointer.
#pragma once

#include "bookkeeping.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace proxy {

// Writes one vtable slot, which lives in the real module's read-only data.
template <typename Function>
void WriteSlot(Function* slot, Function hook)
{
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_EXECUTE_READWRITE, &old)) {
        std::fprintf(stderr, "d3d9 proxy: VirtualProtect of a vtable slot failed: %lu\n", GetLastError());
        std::abort();
    }
    *slot = hook;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

// The vtables of one interface (with CINTERFACE, `Object` has an lpVtbl of
// type `Vtbl*`). A handful of distinct vtables per interface is all a d3d9
// implementation has.
template <typename Object, typename Vtbl>
class VtableSet {
public:
    // Writes the hooks into the object's vtable with `install` unless that
    // vtable was patched already.
    void Patch(Object* object, void (*install)(Vtbl* table))
    {
        Guard guard;
        Vtbl* table = object->lpVtbl;
        for (int i = 0; i < count_; ++i) {
            if (entries_[i].table == table)
                return;
        }
        if (count_ == kCapacity) {
            std::fprintf(stderr, "d3d9 proxy: more than %d vtables of one interface\n", kCapacity);
            std::abort();
        }
        Entry& entry = entries_[count_];
        entry.table = table;
        std::memcpy(&entry.original, table, sizeof entry.original);
        install(table);
        ++count_;
    }

    // The methods the object's vtable had before it was patched. Entries
    // are never changed once added, so the reference stays valid.
    const Vtbl& Original(const Object* object) const
    {
        Guard guard;
        const Vtbl* table = object->lpVtbl;
        for (int i = 0; i < count_; ++i) {
            if (entries_[i].table == table)
                return entries_[i].original;
        }
        std::fprintf(stderr, "d3d9 proxy: hook reached through an unknown vtable %p\n",
                     static_cast<const void*>(table));
        std::abort();
    }

private:
    static constexpr int kCapacity = 8;
    struct Entry {
        const Vtbl* table;
        Vtbl original;
    };
    Entry entries_[kCapacity];
    int count_ = 0;
};

// Hooks of each interface, written into an object's vtable on first sight.
void HookDirect3D(IDirect3D9* d3d);
void HookDevice(IDirect3DDevice9* device);
void HookTexture(IDirect3DTexture9* texture);
void HookVertexBuffer(IDirect3DVertexBuffer9* buffer);
void HookSurface(IDirect3DSurface9* surface);
void HookVertexDeclaration(IDirect3DVertexDeclaration9* declaration);

}  // namespace proxy

#include "core/memory.hpp"

#include <cstddef>  // brings in the C library's feature macros

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vyx::memory {
namespace {

// glibc's largest fixed mmap threshold.
constexpr int kLargestHeapBlock = 32 * 1024 * 1024;
// glibc's defaults for both settings.
constexpr int kLibraryDefault = 128 * 1024;

HeapPolicy policy;

void apply(const HeapPolicy& next) {
#if defined(__GLIBC__)
  // The library has no way to go back to its own defaults (a threshold that
  // adapts to the blocks freed); its starting values come closest.
  ::mallopt(M_MMAP_THRESHOLD, next.mmapThreshold != 0 ? next.mmapThreshold : kLibraryDefault);
  ::mallopt(M_TRIM_THRESHOLD, next.trimThreshold != 0 ? next.trimThreshold : kLibraryDefault);
#endif
  policy = next;
}

}  // namespace

HeapPolicy currentPolicy() { return policy; }

void retainFreedMemory() {
  // Blocks below 32 MiB come from the heap, where freed ones are reused, not
  // from mappings of their own that are unmapped when freed; and the heap
  // keeps up to 512 MiB of free memory at its top instead of trimming it.
  apply({.mmapThreshold = kLargestHeapBlock, .trimThreshold = 512 * 1024 * 1024});
}

KeepFreedMemory::KeepFreedMemory(bool active) : active_(active), saved_(policy) {
  if (active_) apply({.mmapThreshold = kLargestHeapBlock, .trimThreshold = 1 << 30});
}

KeepFreedMemory::~KeepFreedMemory() {
  if (!active_) return;
  apply(saved_);
#if defined(__GLIBC__)
  ::malloc_trim(0);
#endif
}

}  // namespace vyx::memory

#include "core/memory.hpp"

#include <cstddef>  // brings in the C library's feature macros

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vyx::memory {

void retainFreedMemory() {
#if defined(__GLIBC__)
  // Blocks below 32 MiB (the library's largest fixed threshold) come from
  // the heap, where freed ones are reused, not from mappings of their own
  // that are unmapped when freed; and the heap keeps up to 512 MiB of free
  // memory at its top instead of trimming it.
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
}

}  // namespace vyx::memory

// The heap policy: the settings the program itself set survive a scope that
// keeps freed memory for a while, nested or not.
#include "core/memory.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

using vyx::memory::currentPolicy;
using vyx::memory::HeapPolicy;
using vyx::memory::KeepFreedMemory;

TEST(Memory, KeepingFreedMemoryPutsTheProgramsSettingsBack) {
  vyx::memory::retainFreedMemory();
  const HeapPolicy retained = currentPolicy();
  EXPECT_EQ(retained.mmapThreshold, 32 * 1024 * 1024);
  EXPECT_EQ(retained.trimThreshold, 512 * 1024 * 1024);
  {
    KeepFreedMemory outer(true);
    EXPECT_EQ(currentPolicy().trimThreshold, 1 << 30);
    {
      KeepFreedMemory inner(true);
      KeepFreedMemory inactive(false);
    }
    EXPECT_EQ(currentPolicy().trimThreshold, 1 << 30);
  }
  EXPECT_EQ(currentPolicy(), retained);

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
  // What the allocator does: a 1 MiB block still comes from the heap, not
  // from a mapping of its own as with the library's defaults.
  size_t mapped = mallinfo2().hblks;
  void* block = std::malloc(1024 * 1024);
  EXPECT_EQ(mallinfo2().hblks, mapped);
  std::free(block);
#endif
}

}  // namespace

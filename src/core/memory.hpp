#pragma once
// How the program's heap treats memory it frees. The allocator's settings
// are process-wide; every change to them goes through here, so that what
// one part of the program sets another can put back.

namespace vyx::memory {

// The two allocator settings the program changes, in bytes. 0 stands for the
// allocator's own default.
struct HeapPolicy {
  int mmapThreshold = 0;  // blocks this large or larger get mappings of their own
  int trimThreshold = 0;  // free memory at the heap's top beyond this is given back
  bool operator==(const HeapPolicy&) const = default;
};

// The settings in force now (all defaults until something was set here).
HeapPolicy currentPolicy();

// Keeps freed memory in the process for later allocations instead of handing
// it back to the system. A run reads, parses and drops megabytes per
// observation; given back, every page would cost a page fault again on its
// next use, which in a virtual machine takes microseconds per page. The
// memory kept is at most what the process used at its peak.
void retainFreedMemory();

// While it lives, freed memory stays with the process (up to 1 GiB at the
// heap's top); when released, the settings in force before it are put back
// and free memory is given back to the system. Inactive, it does nothing.
class KeepFreedMemory {
 public:
  explicit KeepFreedMemory(bool active);
  ~KeepFreedMemory();
  KeepFreedMemory(const KeepFreedMemory&) = delete;
  KeepFreedMemory& operator=(const KeepFreedMemory&) = delete;

 private:
  bool active_;
  HeapPolicy saved_;
};

}  // namespace vyx::memory

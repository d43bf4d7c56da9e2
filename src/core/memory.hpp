#pragma once
// How the program's heap treats memory it frees.

namespace vyx::memory {

// Keeps freed memory in the process for later allocations instead of handing
// it back to the system. A run reads, parses and drops megabytes per
// observation; given back, every page would cost a page fault again on its
// next use, which in a virtual machine takes microseconds per page. The
// memory kept is at most what the process used at its peak.
void retainFreedMemory();

}  // namespace vyx::memory

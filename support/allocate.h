// Heap memory for the core. The installer warns the user with a message box when memory
// runs out (allocate_win32.cpp); fernpack and the native tests print to stderr instead
// (allocate_posix.cpp). Either way the caller gets nullptr and must not use the block.
#ifndef FERN_SUPPORT_ALLOCATE_H
#define FERN_SUPPORT_ALLOCATE_H

#include <stddef.h>

void *AllocateOrWarn(size_t size);
void ReleaseBlock(void *block);

// Tests: make the next `count` allocations fail (as if memory were short), then succeed
// again. 0 turns the simulation off.
void SimulateAllocationFailures(int count);

// Tells the user that memory is short; platform-specific, called by AllocateOrWarn.
void WarnOutOfMemory();

#endif

#pragma once

#include "Arealis/Node.h"

#include <cstddef>

namespace Arealis::FreeNodeStore
{

// Records for the nodes of free rings, which are created and dropped one by one in great
// numbers (every free overlay result owns its nodes). Records are carved from blocks and
// reused through a stack of dropped records per thread (a fixed array of pointers), instead of
// one heap allocation each. Records passed between threads are linked through their own
// storage, so that those lists cost no memory of their own. Blocks are kept for the life of the
// process, so a record stays valid whichever thread drops it. A thread that ends leaves its unused
// records to the threads after it (the workers of the layer operations live for one operation
// each), so that memory does not grow with every run.

// A record with unspecified contents.
Node* Allocate();
// Takes back a record that Allocate handed out.
void Release(Node* pNode) noexcept;
// Blocks carved so far, for tests.
std::size_t BlockCount();

} // namespace Arealis::FreeNodeStore

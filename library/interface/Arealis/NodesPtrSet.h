#pragma once

#include "Arealis/Node.h"
#include "Arealis/Point.h"
#include "Collections/BTree.h"
#include "Collections/DefaultComparator.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/Messages.h"

#include <cstdint>

namespace Arealis
{

// Key extractor of the node index: a node is keyed by its position. A null node is refused
// before the index changes. The index's leaves keep the node pointers alone and read the
// positions through them: a copy of each position beside its pointer would triple the leaves'
// memory, which for a large result layer is tens of megabytes.
struct GetPointFromNodePtr
{
    static constexpr bool KeysReadThroughItems = true;

    const Point& operator()(const Node* pNode) const
    {
        if (pNode == nullptr)
        {
            throw Exceptions::ArgumentException(Exceptions::Messages::InvalidPointer,
                                                Exceptions::MakeLocation("NodesPtrSet", __LINE__));
        }
        return pNode->Position;
    }
};

// The node index of a topology: node pointers ordered by position (X, then Y), one node per
// position. Nodes are removed by identity, and a node must be removed before it moves. Wide
// nodes (split above 150 entries) keep a search over tens of thousands of nodes to three or
// four node visits.
class NodesPtrSet : public Collections::BTree<Point, Node*, GetPointFromNodePtr,
                                              Collections::DefaultComparator<Point>>
{
public:
    static constexpr std::int32_t MinItemsPerNode = 60;
    static constexpr std::int32_t MaxItemsPerNode = 150;

    NodesPtrSet() : BTree(MinItemsPerNode, MaxItemsPerNode) {}
};

} // namespace Arealis

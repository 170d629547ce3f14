#pragma once

#include "Arealis/Node.h"

#include <cstddef>
#include <cstring>

namespace Arealis
{

// A list of unused node records, linked through the records themselves: a record on the list
// holds the link to the next one in the bytes of its X coordinate, so that the list needs no
// memory of its own and taking a record back never allocates. A record's X is meaningless
// while it is on the list; its other fields stay as they were left.
class NodeChain
{
public:
    bool Empty() const noexcept { return m_head == nullptr; }
    std::size_t Count() const noexcept { return m_count; }

    void Push(Node* pNode) noexcept
    {
        std::memcpy(&pNode->Position.X, &m_head, sizeof m_head);
        m_head = pNode;
        ++m_count;
    }

    // The record pushed last; the list must not be empty.
    Node* Pop() noexcept
    {
        Node* pNode = m_head;
        std::memcpy(&m_head, &pNode->Position.X, sizeof m_head);
        --m_count;
        return pNode;
    }

private:
    static_assert(sizeof(Node*) == sizeof(double), "a record's X must hold a link");

    Node* m_head = nullptr;
    std::size_t m_count = 0;
};

} // namespace Arealis

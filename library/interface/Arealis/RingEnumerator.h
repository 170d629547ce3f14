#pragma once

namespace Arealis
{

class Ring;

// Walks the circle of rings of a polygon along Next, from a start ring until just before the
// head (the ring flagged IsFirst) comes round again. A plain value, copied freely.
class RingEnumerator
{
public:
    // Which rings the walk yields.
    static constexpr int ExteriorRings = 1;
    // The rings from the start on while each is an assigned hole: started at the ring after
    // an exterior ring, it yields that exterior ring's holes.
    static constexpr int AssignedHoles = 2;
    static constexpr int AllRings = 3;

    explicit RingEnumerator(Ring* pStart = nullptr, int mode = AllRings) noexcept
        : m_start(pStart), m_mode(mode)
    {
    }

    // False without a start ring and once the walk has ended.
    bool MoveNext();
    // Throws InvalidOperationException unless the last MoveNext() returned true.
    Ring* Current() const;
    void Reset() noexcept
    {
        m_current = nullptr;
        m_ended = false;
    }

private:
    bool Admits(const Ring* pRing) const;

    Ring* m_start;
    Ring* m_current = nullptr;
    int m_mode;
    bool m_ended = false;
};

} // namespace Arealis

#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/PolygonsSet.h"
#include "overlay/LayerSetOperations.h"
#include "Arealis/PolygonTable.h"
#include "model/SnapshotEnumerator.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace Arealis::LayerOperations
{

namespace
{

// The polygons of the union so far, indexed by their bounds: polygons of the operand layers
// and the free unions made from them, which the index owns. Polygons merged into a union leave
// the index; merged unions are kept alive until the end of the pass, so that the pass can still
// recognise them on its list and skip them. What the pass needs to know of a polygon (whether
// the index owns it, whether it was made or merged in this pass) sits in one flat table, looked
// up for every candidate: passes are numbered, so a new pass forgets the last one's marks
// without a pass over them.
class WorkingIndex
{
public:
    explicit WorkingIndex(const PolygonsSet& start) : m_index(start) {}

    // The polygons of the index that overlap the polygon, leaving out the polygon itself and
    // the unions made in this pass (they are examined again in the next pass).
    PolygonList Overlapping(const Polygon& polygon) const
    {
        PolygonList found;
        m_index.VisitOverlapping(polygon.GetBounds(),
                                 [&](Polygon* pCandidate)
                                 {
                                     if (pCandidate != &polygon && !IsNewThisPass(*pCandidate))
                                     {
                                         found.push_back(pCandidate);
                                     }
                                     return true;
                                 });
        std::erase_if(found,
                      [&](const Polygon* pCandidate) { return !polygon.Overlaps(pCandidate); });
        return found;
    }

    // Puts a polygon of an operand layer into the index; a union is there already.
    void Keep(Polygon& polygon)
    {
        const State* state = m_states.Find(&polygon);
        if (state == nullptr || !state->Owned)
        {
            m_index.Insert(&polygon);
        }
    }

    Polygon& Adopt(std::unique_ptr<Polygon> united)
    {
        Polygon& polygon = *united;
        // A union may stand where one freed at the end of an earlier pass stood.
        State& state = m_states[&polygon];
        state = State{std::move(united), m_pass, 0};
        m_index.Insert(&polygon);
        return polygon;
    }

    // Takes a polygon that was merged into a union out of the index.
    void Retire(Polygon& polygon)
    {
        m_index.Remove(&polygon);
        State& state = m_states[&polygon];
        if (state.Owned)
        {
            m_retired.push_back(std::move(state.Owned));
        }
        state.RetiredInPass = m_pass;
    }

    bool IsRetired(const Polygon& polygon) const
    {
        const State* state = m_states.Find(&polygon);
        return state != nullptr && state->RetiredInPass == m_pass;
    }

    void EndPass()
    {
        ++m_pass;
        m_retired.clear();
    }

    PolygonList Polygons() const
    {
        PolygonList polygons;
        const auto all = m_index.GetEnumerator();
        while (all->MoveNext())
        {
            polygons.push_back(all->Current());
        }
        return polygons;
    }

private:
    struct State
    {
        std::unique_ptr<Polygon> Owned; // a union while the index holds it
        std::uint32_t MadeInPass = 0;
        std::uint32_t RetiredInPass = 0;
    };

    bool IsNewThisPass(const Polygon& polygon) const
    {
        const State* state = m_states.Find(&polygon);
        return state != nullptr && state->MadeInPass == m_pass;
    }

    PolygonsSet m_index;
    PolygonTable<State> m_states;
    std::uint32_t m_pass = 1; // 0 marks nothing
    std::vector<std::unique_ptr<Polygon>> m_retired;
};

std::unique_ptr<Polygon> UnionWith(Polygon& polygon, const PolygonList& overlapping)
{
    if (overlapping.size() == 1)
    {
        return Overlay::Union(*overlapping.front(), polygon);
    }
    SnapshotEnumerator<Polygon*> enumeration(overlapping);
    const std::unique_ptr<Polygon> united = Overlay::UnitePolygons(&enumeration);
    return Overlay::Union(*united, polygon);
}

// Merges one polygon of the pass's list with the polygons it overlaps. A new union goes on the
// next pass's list, since it may overlap polygons it did not meet before.
void UniteOne(WorkingIndex& index, Polygon& polygon, PolygonList& next)
{
    const PolygonList overlapping = index.Overlapping(polygon);
    if (overlapping.empty())
    {
        index.Keep(polygon);
        return;
    }
    std::unique_ptr<Polygon> united = UnionWith(polygon, overlapping);
    for (Polygon* pMerged : overlapping)
    {
        index.Retire(*pMerged);
    }
    // A union equal to the polygon means that the others lie inside it: they are gone and the
    // polygon stays as it is.
    if (united->IsEqual(&polygon, 0.0))
    {
        index.Keep(polygon);
        return;
    }
    if (!index.IsRetired(polygon))
    {
        index.Retire(polygon);
    }
    next.push_back(&index.Adopt(std::move(united)));
}

PolygonList RunPass(WorkingIndex& index, const PolygonList& list, ProgressCounter& counter)
{
    PolygonList next;
    for (Polygon* polygon : list)
    {
        if (!index.IsRetired(*polygon))
        {
            UniteOne(index, *polygon, next);
        }
        counter.Step();
    }
    counter.AddToTotal(static_cast<std::int64_t>(next.size()));
    index.EndPass();
    return next;
}

void AddAll(const WorkingIndex& index, PolygonLayer& result, ProgressCounter& counter)
{
    for (const Polygon* polygon : index.Polygons())
    {
        if (!polygon->IsEmpty())
        {
            result.AddPolygon(polygon);
        }
        counter.Step();
    }
}

} // namespace

void Unite(PolygonLayer& a, PolygonLayer& b, PolygonLayer& result, const Progress& progress)
{
    PolygonLayer& larger = b.GetPolygonCount() > a.GetPolygonCount() ? b : a;
    PolygonLayer& smaller = &larger == &a ? b : a;
    larger.Commit();
    // A layer united with itself only dissolves its own overlaps: every polygon comes from the
    // list, none from the start index.
    WorkingIndex index(&larger == &smaller ? PolygonsSet() : larger.GetIndex());
    PolygonList list = PolygonsOf(smaller);
    const auto listed = static_cast<std::int64_t>(list.size());
    ProgressCounter counter(progress, listed + larger.GetPolygonCount() + listed);
    while (!list.empty())
    {
        list = RunPass(index, list, counter);
    }
    AddAll(index, result, counter);
    counter.Finish();
}

} // namespace Arealis::LayerOperations

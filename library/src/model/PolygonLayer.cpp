#include "Arealis/PolygonLayer.h"

#include "Arealis/Criterions.h"
#include "Arealis/Geometry.h"
#include "Arealis/GeometryExceptions.h"
#include "Arealis/LayerPolygonEnumerator.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonsSet.h"
#include "Arealis/Topology.h"
#include "Collections/Array.h"
#include "Collections/CriterionEnumerator.h"
#include "Collections/Map.h"
#include "Collections/OverallEnumerator.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"
#include "model/AddByPositions.h"
#include "model/LayerThreads.h"
#include "model/OperandPrecision.h"
#include "model/OverlapTestsAhead.h"
#include "model/PreparedPolygons.h"
#include "model/SnapshotEnumerator.h"
#include "support/ParallelWork.h"
#include "support/WorkAhead.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <system_error>
#include <unordered_set>
#include <utility>
#include <vector>

namespace Arealis
{

namespace
{

constexpr const char* Unit = "PolygonLayer";
constexpr int RelationLine = 203;
constexpr int FindPolygonToleranceLine = 210;
constexpr int PolygonsAtNullLine = 249;
constexpr int NodeBoundsNullLine = 271;
constexpr int AddPolygonNullLine = 298;
constexpr int DeleteNullLine = 310;
constexpr int DeleteForeignLine = 312;
constexpr int DeleteUsedLine = 314;
constexpr int DeleteNotIndexedLine = 316;
constexpr int BeginEditUsedLine = 342;
constexpr int BeginEditNotIndexedLine = 349;
constexpr int CommitInvalidLine = 391;
constexpr int CommitOverlapLine = 394;
constexpr int CommitPolygonOverlapLine = 410;
constexpr int OperandNullLine = 530;
constexpr int SetParentsNullLine = 560;
constexpr int SetParentsForeignLine = 562;
constexpr int SetParentsParentLine = 565;
constexpr int ReorderRangeLine = 610;
constexpr int ReorderOrderLine = 614;

using EditListArray = Collections::Array<Polygon*, 10>;
using ParentsMap = Collections::Map<Polygon*, Collections::PlainArray<Polygon*>>;
// Wide tree nodes: an operation records the parents of each of its hundreds of thousands of
// pieces, and a tree of two or three entries per node made that a fifteenth of the command.
constexpr std::int32_t ParentsMinItems = 32;
constexpr std::int32_t ParentsMaxItems = 64;

// A commit of this many polygons or more prepares them on a second thread while it files them.
constexpr std::int32_t PreparedAheadCount = 2048;
// A commit of this many polygons or more into a layer whose polygons must not overlap makes
// its overlap tests on the layer operations' threads before it files the polygons.
constexpr std::int32_t TestedAheadCount = 1024;

// The failures that a commit notes before it goes on.
struct CommitFailures
{
    bool InvalidSeen = false;
    bool OverlapSeen = false;
};

// Notes a failure that leaves the polygon in the edit list while the commit goes on; false for
// any other exception, which ends the commit.
bool NoteFailure(const std::exception_ptr& error, CommitFailures& failures) noexcept
{
    try
    {
        std::rethrow_exception(error);
    }
    catch (const InvalidPolygonException&)
    {
        failures.InvalidSeen = true;
    }
    catch (const PolygonsOverlapException&)
    {
        failures.OverlapSeen = true;
    }
    catch (...)
    {
        return false;
    }
    return true;
}

[[noreturn]] void ThrowArgument(const char* message, int line)
{
    throw Exceptions::ArgumentException(message, Exceptions::MakeLocation(Unit, line));
}

void DestroyPolygon(Polygon* pPolygon) noexcept
{
    std::unique_ptr<Polygon> owned(pPolygon);
}

std::vector<Polygon*> ToVector(PolygonEnumerator polygons)
{
    std::vector<Polygon*> result;
    while (polygons.MoveNext())
    {
        result.push_back(polygons.Current());
    }
    return result;
}

// The items of an enumeration taken at once, so that changes of the layer while the caller
// enumerates (editing a polygon moves it from the index to the edit list, committing moves it
// back) neither skip nor repeat a polygon. Null stays null.
std::unique_ptr<Collections::IEnumerator<Polygon*>>
Snapshot(std::unique_ptr<Collections::IEnumerator<Polygon*>> pEnumerator)
{
    if (!pEnumerator)
    {
        return nullptr;
    }
    std::vector<Polygon*> items;
    while (pEnumerator->MoveNext())
    {
        items.push_back(pEnumerator->Current());
    }
    return std::make_unique<SnapshotEnumerator<Polygon*>>(std::move(items));
}

} // namespace

struct PolygonLayerState
{
    PolygonLayerState(PolygonLayer* pHandle, Topology* pTopology, bool allowOverlap)
        : Handle(pHandle), TopologyHandle(pTopology), AllowOverlap(allowOverlap)
    {
    }
    ~PolygonLayerState() = default;

    PolygonLayerState(const PolygonLayerState&) = delete;
    PolygonLayerState& operator=(const PolygonLayerState&) = delete;

    std::int32_t FindInEditList(const Polygon* pPolygon) const
    {
        for (std::int32_t i = EditList.Count() - 1; i >= 0; --i)
        {
            if (EditList[i] == pPolygon)
            {
                return i;
            }
        }
        return -1;
    }

    // Files the polygon at position i of the edit list, whose bounds are given, in the index.
    void CommitAt(std::int32_t i, const Rectangle& bounds);
    // CommitAt whose overlap tests ask overlaps(pCommitted), which answers as
    // Polygon::Overlaps would.
    template <class TOverlaps>
    void CommitAt(std::int32_t i, const Rectangle& bounds, TOverlaps overlaps);
    // Prepares with prepare() and files the polygon at position i of the edit list, noting
    // the failures that leave it there.
    template <class TPrepare>
    void CommitNoting(std::int32_t i, TPrepare prepare, CommitFailures& failures);
    // Commits the whole edit list as Commit does, with the polygons prepared ahead of their
    // filing on the layer operations' threads: large ones (see Detail::IsLargePreparation),
    // and many small ones of a layer that allows overlap; false, with nothing done, otherwise
    // or when one thread is to be used.
    bool CommitPreparingAhead(CommitFailures& failures);
    // Commits the whole edit list of a layer whose polygons must not overlap as Commit does,
    // with the overlap tests made on several threads ahead of the filing; false, with nothing
    // done, when the list is short, the layer allows overlap or one thread is to be used.
    bool CommitTestingAhead(CommitFailures& failures);
    // Files the tested polygons in turn, at the given positions of the edit list (descending).
    void FileTested(const Detail::OverlapTestsAhead& tests,
                    const std::vector<std::int32_t>& positions, CommitFailures& failures);
    // Takes the polygons at the given positions (descending) out of the edit list.
    void RemoveFromEditList(const std::vector<std::int32_t>& positions) noexcept;
    void ClearParents(Polygon* pPolygon);
    void ReleaseParentUses(const Collections::PlainArray<Polygon*>& parents);
    void ClearAllParents();
    void CheckOperand(Polygon* pPolygon);
    void DestroyContents() noexcept;

    PolygonLayer* Handle;
    Topology* TopologyHandle;
    PolygonsSet Index;
    EditListArray EditList;
    ParentsMap Parents{ParentsMinItems, ParentsMaxItems};
    Collections::Map<Polygon*, std::int32_t> UseOverflow;
    bool AllowOverlap;
    std::int32_t ForeignParentUses = 0;
    std::int32_t PolygonCount = 0;
};

// Destroys every polygon, once, when the layer goes. Parents collections go first:
// releasing a use touches the parent, which may be a polygon of this layer.
void PolygonLayerState::DestroyContents() noexcept
{
    ClearAllParents();
    std::vector<Polygon*> polygons;
    const auto committed = Index.GetEnumerator();
    while (committed->MoveNext())
    {
        polygons.push_back(committed->Current());
    }
    for (Polygon* polygon : EditList)
    {
        polygons.push_back(polygon);
    }
    for (Polygon* polygon : polygons)
    {
        DestroyPolygon(polygon);
    }
}

template <class TPrepare>
void PolygonLayerState::CommitNoting(std::int32_t i, TPrepare prepare, CommitFailures& failures)
{
    try
    {
        const Rectangle bounds = prepare();
        CommitAt(i, bounds);
    }
    catch (...)
    {
        if (!NoteFailure(std::current_exception(), failures))
        {
            throw;
        }
    }
}

namespace
{

// Whether the commit goes on after a polygon that failed so.
bool CommitGoesOn(const std::exception_ptr& error)
{
    CommitFailures ignored;
    return NoteFailure(error, ignored);
}

// The edit list from its end, as the commit takes it: a filed polygon leaves the list at its
// own place, so the ones before it keep theirs.
std::vector<Polygon*> InCommitOrder(const EditListArray& list)
{
    std::vector<Polygon*> polygons;
    polygons.reserve(static_cast<std::size_t>(list.Count()));
    for (std::int32_t i = list.Count() - 1; i >= 0; --i)
    {
        polygons.push_back(list[i]);
    }
    return polygons;
}

} // namespace

bool PolygonLayerState::CommitPreparingAhead(CommitFailures& failures)
{
    const unsigned threads = Detail::LayerThreadsOf(*TopologyHandle);
    if (EditList.Count() < 2 || threads < 2)
    {
        return false;
    }
    const std::vector<Polygon*> polygons = InCommitOrder(EditList);
    // Many polygons of a layer that allows overlap are prepared ahead whatever their sizes,
    // without a pass over all of them to count their nodes first.
    const bool many =
        AllowOverlap && EditList.Count() >= PreparedAheadCount && Detail::HasSecondCore();
    if (!many && !Detail::IsLargePreparation(polygons))
    {
        return false;
    }
    // The filing of a non-overlapping layer's polygons compares them with the committed
    // ones, which repairs beside it must not meet: they are made in turn there. A layer that
    // allows overlap has them made ahead, so that a layer of many repairs (a file read)
    // keeps its filing beside them.
    const Detail::Preparation preparation = AllowOverlap
                                                ? Detail::Preparation::AllThreadsRepairing
                                                : Detail::Preparation::AllThreads;
    Detail::PreparedPolygons prepared(polygons, preparation, threads, CommitGoesOn);
    if (!prepared.Ahead())
    {
        return false; // the commit prepares in turn
    }
    std::size_t taken = 0;
    try
    {
        prepared.FileInOrder(
            [&](std::size_t k)
            {
                taken = k;
                const auto i = static_cast<std::int32_t>(polygons.size() - 1 - k);
                CommitNoting(
                    i, [&prepared, k] { return prepared.Take(k); }, failures);
                return true;
            });
    }
    catch (...)
    {
        prepared.Stop(taken + 1);
        throw;
    }
    return true;
}

bool PolygonLayerState::CommitTestingAhead(CommitFailures& failures)
{
    if (AllowOverlap || EditList.Count() < TestedAheadCount)
    {
        return false;
    }
    const unsigned threads = Detail::LayerThreadsOf(*TopologyHandle);
    if (threads < 2)
    {
        return false;
    }
    const auto count = static_cast<std::size_t>(EditList.Count());
    const std::vector<Polygon*> polygons = InCommitOrder(EditList);
    Detail::OverlapTestsAhead tests(Index, count);
    // The positions in the edit list of the polygons added to the tests.
    std::vector<std::int32_t> positions;
    positions.reserve(count);
    // The first failure that is neither an invalid polygon nor an overlap ends the commit,
    // after the polygons before it were filed.
    std::exception_ptr stopped;
    bool allAdded = true; // when not, the tests' index may hold a polygon left out
    // Each polygon is prepared before it is tested, and the tests of the polygons added run
    // while the next ones are prepared and added: preparing one (its repairs included)
    // changes nothing that the tests of the others read, as the filing of a layer that allows
    // overlap relies on too.
    const auto addAll = [&]
    {
        Detail::PreparedPolygons prepared(polygons,
                                          Detail::IsLargePreparation(polygons)
                                              ? Detail::Preparation::AllThreads
                                              : Detail::Preparation::SecondThread,
                                          threads, CommitGoesOn);
        std::size_t taken = 0;
        prepared.FileInOrder(
            [&](std::size_t k)
            {
                taken = k + 1;
                Rectangle bounds;
                try
                {
                    bounds = prepared.Take(k);
                }
                catch (...)
                {
                    if (!NoteFailure(std::current_exception(), failures))
                    {
                        stopped = std::current_exception();
                    }
                    return stopped == nullptr;
                }
                try
                {
                    tests.Add(polygons[k], bounds);
                    positions.push_back(static_cast<std::int32_t>(count - 1 - k));
                }
                catch (...)
                {
                    // Stays in the edit list, as after a failed filing.
                    polygons[k]->MarkEditing();
                    stopped = std::current_exception();
                    allAdded = false;
                }
                return stopped == nullptr;
            });
        prepared.Stop(taken);
    };
    tests.AddAndTest(threads, addAll);
    if (Index.Count() == 0 && allAdded && tests.AllApart())
    {
        // Filed in turn, every polygon would be committed: the index is the one that filing
        // them in this order makes.
        tests.FileAllInto(Index);
        RemoveFromEditList(positions);
    }
    else
    {
        FileTested(tests, positions, failures);
    }
    if (stopped != nullptr)
    {
        std::rethrow_exception(stopped);
    }
    return true;
}

void PolygonLayerState::FileTested(const Detail::OverlapTestsAhead& tests,
                                   const std::vector<std::int32_t>& positions,
                                   CommitFailures& failures)
{
    std::size_t k = 0;
    try
    {
        for (; k < positions.size(); ++k)
        {
            try
            {
                CommitAt(positions[k], tests.BoundsOf(k),
                         [&tests, k](const Polygon* pCommitted)
                         { return tests.Overlaps(k, pCommitted); });
            }
            catch (...)
            {
                if (!NoteFailure(std::current_exception(), failures))
                {
                    throw;
                }
            }
        }
    }
    catch (...)
    {
        // Prepared polygons that the commit did not reach stay in the edit list: back to
        // editing, as after a filing that failed.
        for (std::size_t later = k + 1; later < positions.size(); ++later)
        {
            EditList[positions[later]]->MarkEditing();
        }
        throw;
    }
}

void PolygonLayerState::RemoveFromEditList(const std::vector<std::int32_t>& positions) noexcept
{
    auto next = positions.rbegin();
    std::int32_t kept = 0;
    for (std::int32_t i = 0; i < EditList.Count(); ++i)
    {
        if (next != positions.rend() && *next == i)
        {
            ++next;
            continue;
        }
        EditList[kept++] = EditList[i];
    }
    EditList.SetCount(kept);
}

void PolygonLayerState::CommitAt(std::int32_t i, const Rectangle& bounds)
{
    Polygon* polygon = EditList[i];
    CommitAt(i, bounds,
             [polygon](const Polygon* pCommitted) { return polygon->Overlaps(pCommitted); });
}

template <class TOverlaps>
void PolygonLayerState::CommitAt(std::int32_t i, const Rectangle& bounds, TOverlaps overlaps)
{
    Polygon* polygon = EditList[i];
    try
    {
        if (!AllowOverlap)
        {
            std::vector<Polygon*> candidates;
            Index.VisitOverlapping(bounds,
                                   [&candidates](Polygon* pCommitted)
                                   {
                                       candidates.push_back(pCommitted);
                                       return true;
                                   });
            for (const Polygon* committed : candidates)
            {
                if (overlaps(committed))
                {
                    throw PolygonsOverlapException(
                        Exceptions::Messages::PolygonOverlapsCommitted,
                        Exceptions::MakeLocation(Unit, CommitPolygonOverlapLine));
                }
            }
        }
        Index.Insert(polygon, bounds);
    }
    catch (...)
    {
        polygon->MarkEditing(); // stays in the edit list
        throw;
    }
    EditList.RemoveAt(i);
}

void PolygonLayerState::ClearParents(Polygon* pPolygon)
{
    Collections::PlainArray<Polygon*> parents;
    if (Parents.Remove(pPolygon, &parents))
    {
        ReleaseParentUses(parents);
    }
}

void PolygonLayerState::ReleaseParentUses(const Collections::PlainArray<Polygon*>& parents)
{
    for (Polygon* parent : parents)
    {
        parent->ReleaseUse();
        PolygonLayer* parentLayer = parent->GetLayer();
        if (parentLayer != Handle)
        {
            --parentLayer->m_state->ForeignParentUses;
        }
        if (parentLayer->GetTopology() != TopologyHandle)
        {
            parentLayer->GetTopology()->ReleaseForeignParentUse();
        }
    }
}

// The uses are released child by child in key order, as clearing each child would, but the
// map is emptied at once instead of losing its entries one removal at a time.
void PolygonLayerState::ClearAllParents()
{
    Parents.ForEach(
        [this](const std::pair<Polygon*, Collections::PlainArray<Polygon*>>& entry)
        {
            ReleaseParentUses(entry.second);
            return true;
        });
    Parents = ParentsMap(ParentsMinItems, ParentsMaxItems);
}

// An operand that is not valid goes back to its layer, which commits it when it can be
// repaired and throws otherwise.
void PolygonLayerState::CheckOperand(Polygon* pPolygon)
{
    if (pPolygon == nullptr)
    {
        ThrowArgument(Exceptions::Messages::InvalidPointer, OperandNullLine);
    }
    if (!pPolygon->IsValid())
    {
        pPolygon->AddToIndex();
    }
}

// --- Handle ---------------------------------------------------------------------------------

PolygonLayer::PolygonLayer(Topology* pTopology, bool allowOverlap)
    : m_state(std::make_unique<PolygonLayerState>(this, pTopology, allowOverlap))
{
}

PolygonLayer::~PolygonLayer()
{
    // The polygons reach the topology through this handle while they release their nodes.
    m_state->DestroyContents();
}

Polygon* PolygonLayer::CreatePolygon()
{
    auto polygon = std::make_unique<Polygon>(this);
    m_state->EditList.Append(polygon.get());
    ++m_state->PolygonCount;
    return polygon.release(); // owned by the layer from now on
}

Polygon* PolygonLayer::AddPolygon(const Polygon* pSource)
{
    if (pSource == nullptr)
    {
        ThrowArgument(Exceptions::Messages::InvalidPointer, AddPolygonNullLine);
    }
    auto copy = std::make_unique<Polygon>(this);
    RingEnumerator rings = pSource->GetRings();
    while (rings.MoveNext())
    {
        const Ring* source = rings.Current();
        Ring* ring = copy->CreateRing();
        ring->ReserveNodes(source->Count());
        // A free ring's nodes (the pieces of a layer operation) go in by their positions.
        if (!AddByPositions(
                source->GetNodes(), [](const Node* pNode) { return pNode; },
                [](const Node* pNode) { return pNode->Position; }, *ring))
        {
            for (std::int32_t i = 0; i < source->Count(); ++i)
            {
                ring->AdoptNode(source->GetNode(i));
            }
        }
    }
    m_state->EditList.Append(copy.get());
    ++m_state->PolygonCount;
    return copy.release(); // owned by the layer from now on
}

void PolygonLayer::CheckDeletable(const Polygon* pPolygon) const
{
    if (pPolygon == nullptr)
    {
        ThrowArgument(Exceptions::Messages::InvalidPointer, DeleteNullLine);
    }
    if (pPolygon->GetLayer() != this)
    {
        ThrowArgument(Exceptions::Messages::PolygonNotInLayer, DeleteForeignLine);
    }
    if (pPolygon->IsUsed())
    {
        throw Exceptions::InvalidOperationException(Exceptions::Messages::PolygonIsParent,
                                                    Exceptions::MakeLocation(Unit, DeleteUsedLine));
    }
}

void PolygonLayer::DeletePolygon(Polygon* pPolygon)
{
    CheckDeletable(pPolygon);
    const std::int32_t position = m_state->FindInEditList(pPolygon);
    if (position >= 0)
    {
        m_state->EditList.RemoveAt(position);
    }
    Discard(pPolygon, position >= 0);
}

void PolygonLayer::Discard(Polygon* pPolygon, bool takenFromEditList)
{
    if (!takenFromEditList && !m_state->Index.Remove(pPolygon))
    {
        // Its bounds changed behind the layer's back: destroying it would leave the index
        // pointing at a deleted polygon.
        throw Exceptions::InvalidOperationException(
            Exceptions::Messages::PolygonNotInSpatialIndex,
            Exceptions::MakeLocation(Unit, DeleteNotIndexedLine));
    }
    m_state->ClearParents(pPolygon);
    --m_state->PolygonCount;
    DestroyPolygon(pPolygon);
}

void PolygonLayer::DeletePolygons(std::span<Polygon* const> polygons)
{
    // Every polygon is checked before anything changes, so a refused batch deletes nothing.
    std::unordered_set<const Polygon*> doomed;
    doomed.reserve(polygons.size());
    for (Polygon* pPolygon : polygons)
    {
        CheckDeletable(pPolygon);
        doomed.insert(pPolygon);
    }
    // One pass over the edit list instead of a search and a shift per polygon.
    std::unordered_set<const Polygon*> edited;
    EditListArray& list = m_state->EditList;
    std::int32_t kept = 0;
    for (std::int32_t i = 0; i < list.Count(); ++i)
    {
        if (doomed.contains(list[i]))
        {
            edited.insert(list[i]);
        }
        else
        {
            list[kept++] = list[i];
        }
    }
    list.SetCount(kept);
    for (Polygon* pPolygon : polygons)
    {
        if (doomed.erase(pPolygon) == 0)
        {
            continue; // named twice
        }
        Discard(pPolygon, edited.contains(pPolygon));
    }
}

void PolygonLayer::BeginEdit(Polygon* pPolygon)
{
    if (pPolygon->IsUsed())
    {
        throw Exceptions::InvalidOperationException(
            Exceptions::Messages::PolygonIsParent,
            Exceptions::MakeLocation(Unit, BeginEditUsedLine));
    }
    if (!m_state->Index.Remove(pPolygon))
    {
        throw Exceptions::InvalidOperationException(
            Exceptions::Messages::PolygonNotInSpatialIndex,
            Exceptions::MakeLocation(Unit, BeginEditNotIndexedLine));
    }
    m_state->EditList.Append(pPolygon);
    pPolygon->MarkEditing();
}

void PolygonLayer::EndEdit(Polygon* pPolygon)
{
    const std::int32_t position = m_state->FindInEditList(pPolygon);
    if (position < 0)
    {
        return;
    }
    const Rectangle bounds = Detail::PreparePolygon(pPolygon);
    m_state->CommitAt(position, bounds);
}

void PolygonLayer::Commit()
{
    const PrecisionScope precisionScope(GetTopology()->GetPrecision());
    CommitFailures failures;
    if (!m_state->CommitTestingAhead(failures) && !m_state->CommitPreparingAhead(failures))
    {
        for (std::int32_t i = m_state->EditList.Count() - 1; i >= 0; --i)
        {
            m_state->CommitNoting(
                i, [this, i] { return Detail::PreparePolygon(m_state->EditList[i]); }, failures);
        }
    }
    if (failures.InvalidSeen)
    {
        throw InvalidPolygonException(Exceptions::Messages::LayerHasInvalidPolygons,
                                      Exceptions::MakeLocation(Unit, CommitInvalidLine));
    }
    if (failures.OverlapSeen)
    {
        throw PolygonsOverlapException(Exceptions::Messages::LayerHasOverlappingPolygons,
                                       Exceptions::MakeLocation(Unit, CommitOverlapLine));
    }
}

// --- Queries --------------------------------------------------------------------------------

PolygonEnumerator PolygonLayer::GetPolygons(const Rectangle& rect, int relation) const
{
    if (relation != 0)
    {
        ThrowArgument(Exceptions::Messages::InvalidSpatialRelation, RelationLine);
    }
    auto editing = std::make_unique<
        Collections::CriterionEnumerator<EditListArray, RectangleOverlapCriterion>>(
        m_state->EditList, RectangleOverlapCriterion(rect));
    return PolygonEnumerator(std::make_unique<LayerPolygonEnumerator>(
        Snapshot(m_state->Index.Search(rect)), Snapshot(std::move(editing))));
}

PolygonEnumerator PolygonLayer::GetPolygons() const
{
    return PolygonEnumerator(std::make_unique<LayerPolygonEnumerator>(
        Snapshot(m_state->Index.GetEnumerator()),
        Snapshot(
            std::make_unique<Collections::OverallEnumerator<EditListArray>>(m_state->EditList))));
}

std::int32_t PolygonLayer::GetPolygonCount() const
{
    return m_state->PolygonCount;
}

std::int32_t PolygonLayer::GetCommittedCount() const
{
    return m_state->Index.Count();
}

std::int32_t PolygonLayer::GetEditingCount() const
{
    return m_state->EditList.Count();
}

Rectangle PolygonLayer::GetBounds() const
{
    Rectangle bounds = m_state->Index.Bounds();
    for (const Polygon* polygon : m_state->EditList)
    {
        bounds.Extend(polygon->GetBounds());
    }
    return bounds;
}

PolygonEnumerator PolygonLayer::GetPolygonsAt(const Node* pNode) const
{
    if (pNode == nullptr)
    {
        ThrowArgument(Exceptions::Messages::InvalidPointer, PolygonsAtNullLine);
    }
    return GetPolygons(Rectangle(pNode->Position, pNode->Position), 0);
}

void PolygonLayer::CollectPolygonsUsingNode(const Node* pNode,
                                            Collections::PlainArray<Polygon*>& polygons) const
{
    PolygonEnumerator candidates = GetPolygonsAt(pNode);
    while (candidates.MoveNext())
    {
        if (candidates.Current()->ContainsNode(pNode))
        {
            polygons.Append(candidates.Current());
        }
    }
}

Rectangle PolygonLayer::GetNodeBounds(const Node* pNode) const
{
    if (pNode == nullptr)
    {
        ThrowArgument(Exceptions::Messages::InvalidPointer, NodeBoundsNullLine);
    }
    Rectangle bounds;
    PolygonEnumerator polygons = GetPolygonsAt(pNode);
    while (polygons.MoveNext())
    {
        RingEnumerator rings = polygons.Current()->GetRings();
        while (rings.MoveNext())
        {
            bounds.Extend(rings.Current()->GetNodeAreaBounds(pNode));
        }
    }
    return bounds;
}

Polygon* PolygonLayer::FindPolygon(const Point& point, double dToleranceDistance) const
{
    CheckTolerance(dToleranceDistance, Unit, FindPolygonToleranceLine);
    CheckFinite(point, Unit, __LINE__);
    const std::vector<Polygon*> candidates =
        ToVector(GetPolygons(Rectangle::InflatedAround(point, dToleranceDistance), 0));
    for (Polygon* polygon : candidates)
    {
        if (polygon->ContainsPoint(point))
        {
            return polygon;
        }
    }
    Polygon* nearest = nullptr;
    double nearestDistance = 0.0;
    for (Polygon* polygon : candidates)
    {
        Ring* ring = nullptr;
        std::int32_t edge = -1;
        double distance = 0.0;
        if (polygon->FindEdge(point, dToleranceDistance, &ring, &edge, &distance) &&
            (nearest == nullptr || distance < nearestDistance))
        {
            nearest = polygon;
            nearestDistance = distance;
        }
    }
    return nearest;
}

const PolygonsSet& PolygonLayer::GetIndex() const
{
    return m_state->Index;
}

// --- Set operations -------------------------------------------------------------------------

Polygon* PolygonLayer::Union(Polygon* pA, Polygon* pB, bool recordParents)
{
    m_state->CheckOperand(pA);
    m_state->CheckOperand(pB);
    return Overlay::Union(*pA, *pB, *this, recordParents);
}

Polygon* PolygonLayer::Intersection(Polygon* pA, Polygon* pB, bool recordParents)
{
    m_state->CheckOperand(pA);
    m_state->CheckOperand(pB);
    return Overlay::Intersection(*pA, *pB, *this, recordParents);
}

Polygon* PolygonLayer::Substract(Polygon* pA, Polygon* pB, bool recordParents)
{
    m_state->CheckOperand(pA);
    m_state->CheckOperand(pB);
    return Overlay::Substract(*pA, *pB, *this, recordParents);
}

// --- Parents --------------------------------------------------------------------------------

void PolygonLayer::SetParents(Polygon* pPolygon, const Collections::PlainArray<Polygon*>& parents)
{
    if (pPolygon == nullptr)
    {
        ThrowArgument(Exceptions::Messages::InvalidPointer, SetParentsNullLine);
    }
    if (pPolygon->GetLayer() != this)
    {
        ThrowArgument(Exceptions::Messages::PolygonNotInLayer, SetParentsForeignLine);
    }
    // A parent must live in a layer: only a layer keeps a pinned polygon from being deleted.
    for (const Polygon* parent : parents)
    {
        if (parent == nullptr || parent->GetLayer() == nullptr)
        {
            ThrowArgument(Exceptions::Messages::InvalidPointer, SetParentsParentLine);
        }
    }
    // A polygon without parents (every fresh piece of an operation) takes them in one search
    // of the map; one that has some gives their uses back first.
    if (!m_state->Parents.Insert(pPolygon, parents))
    {
        m_state->ClearParents(pPolygon);
        m_state->Parents.Insert(pPolygon, parents);
    }
    for (Polygon* parent : parents)
    {
        parent->AddUse();
        PolygonLayer* parentLayer = parent->GetLayer();
        if (parentLayer != this)
        {
            ++parentLayer->m_state->ForeignParentUses;
        }
        if (parentLayer->GetTopology() != GetTopology())
        {
            parentLayer->GetTopology()->AddForeignParentUse();
        }
    }
}

PolygonEnumerator PolygonLayer::GetParents(Polygon* pPolygon) const
{
    std::vector<Polygon*> parents;
    if (const Collections::PlainArray<Polygon*>* stored = m_state->Parents.Find(pPolygon))
    {
        parents.assign(stored->begin(), stored->end());
    }
    return PolygonEnumerator(std::make_unique<SnapshotEnumerator<Polygon*>>(std::move(parents)));
}

ParentTable PolygonLayer::GetParentTable(std::span<Polygon* const> polygons) const
{
    using Parents = Collections::PlainArray<Polygon*>;
    std::vector<const Parents*> found(polygons.size(), nullptr);
    const ParentsMap& stored = m_state->Parents;
    // A few polygons of many are looked up one by one; otherwise the polygons, in the map's
    // order, are matched with the map's entries in one walk.
    constexpr std::size_t FewPerEntry = 16;
    if (polygons.size() * FewPerEntry < static_cast<std::size_t>(stored.Count()))
    {
        for (std::size_t i = 0; i < polygons.size(); ++i)
        {
            found[i] = stored.Find(polygons[i]);
        }
    }
    else
    {
        std::vector<std::size_t> order(polygons.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        const std::less<const Polygon*> before;
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return before(polygons[a], polygons[b]); });
        std::size_t next = 0;
        stored.ForEach(
            [&](const auto& entry)
            {
                while (next < order.size() && before(polygons[order[next]], entry.first))
                {
                    ++next;
                }
                for (; next < order.size() && polygons[order[next]] == entry.first; ++next)
                {
                    found[order[next]] = &entry.second;
                }
                return next < order.size();
            });
    }
    std::vector<std::size_t> starts;
    starts.reserve(polygons.size() + 1);
    // Sized once: grown by doubling, the copies and fresh pages of a layer's parents cost
    // about as much as the lookups.
    std::size_t total = 0;
    for (const Parents* of : found)
    {
        total += of != nullptr ? static_cast<std::size_t>(of->Count()) : 0;
    }
    std::vector<Polygon*> parents;
    parents.reserve(total);
    starts.push_back(0);
    for (const Parents* of : found)
    {
        if (of != nullptr)
        {
            parents.insert(parents.end(), of->begin(), of->end());
        }
        starts.push_back(parents.size());
    }
    return ParentTable(std::move(starts), std::move(parents));
}

void PolygonLayer::ClearParents(Polygon* pPolygon)
{
    m_state->ClearParents(pPolygon);
}

void PolygonLayer::ClearAllParents()
{
    m_state->ClearAllParents();
}

std::int32_t PolygonLayer::IncrementOverflow(Polygon* pPolygon)
{
    std::int32_t value = 0;
    m_state->UseOverflow.Remove(pPolygon, &value);
    m_state->UseOverflow.Insert(pPolygon, value + 1);
    return value + 1;
}

std::int32_t PolygonLayer::DecrementOverflow(Polygon* pPolygon)
{
    std::int32_t value = 0;
    if (!m_state->UseOverflow.Remove(pPolygon, &value) || value - 1 == 0)
    {
        return 0;
    }
    m_state->UseOverflow.Insert(pPolygon, value - 1);
    return value - 1;
}

std::int32_t PolygonLayer::GetForeignParentUses() const
{
    return m_state->ForeignParentUses;
}

bool PolygonLayer::AllowsOverlap() const
{
    return m_state->AllowOverlap;
}

Topology* PolygonLayer::GetTopology() const
{
    return m_state->TopologyHandle;
}

bool PolygonLayer::RecordsParents() const noexcept
{
    return m_state->Parents.Count() != 0;
}

void PolygonLayer::MoveToTopology(Topology* pTopology) noexcept
{
    m_state->TopologyHandle = pTopology;
}

void PolygonLayer::ReserveEditing(std::int32_t count)
{
    const std::int64_t wanted = std::int64_t{m_state->EditList.Count()} + std::max(count, 0);
    constexpr std::int64_t limit = std::numeric_limits<std::int32_t>::max();
    m_state->EditList.Reserve(static_cast<std::int32_t>(std::min(wanted, limit)));
}

void PolygonLayer::ReorderEditing(std::int32_t first, std::span<const std::int32_t> order)
{
    EditListArray& list = m_state->EditList;
    const std::int32_t count = list.Count();
    if (first < 0 || first > count || order.size() != static_cast<std::size_t>(count - first))
    {
        ThrowArgument(Exceptions::Messages::ArgumentOutOfRange, ReorderRangeLine);
    }
    // Checked whole before anything moves; then the same marks tell the cycles of the
    // permutation done, which move the polygons in place.
    std::vector<bool> marked(order.size(), false);
    for (const std::int32_t from : order)
    {
        if (from < first || from >= count || marked[static_cast<std::size_t>(from - first)])
        {
            ThrowArgument(Exceptions::Messages::InvalidArgument, ReorderOrderLine);
        }
        marked[static_cast<std::size_t>(from - first)] = true;
    }
    for (std::size_t start = 0; start < order.size(); ++start)
    {
        if (!marked[start])
        {
            continue;
        }
        // Position first + k takes the polygon of position order[k], the cycle's next one.
        Polygon* const displaced = list[first + static_cast<std::int32_t>(start)];
        std::size_t k = start;
        for (;;)
        {
            marked[k] = false;
            const auto from = static_cast<std::size_t>(order[k] - first);
            if (from == start)
            {
                list[first + static_cast<std::int32_t>(k)] = displaced;
                break;
            }
            list[first + static_cast<std::int32_t>(k)] =
                list[first + static_cast<std::int32_t>(from)];
            k = from;
        }
    }
}

} // namespace Arealis

// Undo and Redo over random sessions of edits: every state on the way back and forth must be
// the one recorded on the way, down to which nodes the rings share and their reference counts.

#include "Arealis/Node.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "Collections/PlainArray.h"
#include "DisplayLayer.h"
#include "EditHistory.h"
#include "Exceptions/Exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace Orvista
{
namespace
{

using Arealis::Point;
using Arealis::Polygon;

// The topology in a comparable form: each polygon as its rings (each started at its smallest
// point, in its own direction, the rings sorted) and its parent count; each node with its reference count. Checks on the way that every ring vertex is the
// node set's node at its point and that each count equals the vertex slots using the node.
struct TopologyState
{
    std::vector<std::string> Polygons;
    std::map<std::pair<double, double>, std::uint32_t> Nodes;
    bool operator==(const TopologyState&) const = default;
};

// Readable failures: the polygons, then the nodes with their counts.
void PrintTo(const TopologyState& state, std::ostream* pOut)
{
    for (const std::string& polygon : state.Polygons)
    {
        *pOut << "\n  " << polygon;
    }
    *pOut << "\n  nodes:";
    for (const auto& [at, count] : state.Nodes)
    {
        *pOut << ' ' << at.first << ',' << at.second << 'x' << count;
    }
}

std::string RingText(const Arealis::Ring& ring)
{
    const std::span<Arealis::Node* const> nodes = ring.GetNodes();
    const auto first = std::min_element(nodes.begin(), nodes.end(),
                                        [](const Arealis::Node* a, const Arealis::Node* b)
                                        {
                                            return std::pair(a->Position.X, a->Position.Y) <
                                                   std::pair(b->Position.X, b->Position.Y);
                                        });
    std::ostringstream text;
    for (std::size_t i = 0; i < nodes.size(); ++i)
    {
        const Point& p =
            nodes[(static_cast<std::size_t>(first - nodes.begin()) + i) % nodes.size()]->Position;
        text << p.X << ',' << p.Y << ' ';
    }
    return text.str();
}

TopologyState Capture(DisplayLayer& layer)
{
    TopologyState state;
    Arealis::NodeSet& nodeSet = layer.GetTopology()->GetNodeSet();
    std::map<const Arealis::Node*, std::uint32_t> slots;
    Arealis::PolygonEnumerator polygons = layer.GetPolygonLayer()->GetPolygons();
    while (polygons.MoveNext())
    {
        Polygon* pPolygon = polygons.Current();
        std::vector<std::string> rings;
        Arealis::RingEnumerator ringEnumerator = pPolygon->GetRings();
        while (ringEnumerator.MoveNext())
        {
            const Arealis::Ring& ring = *ringEnumerator.Current();
            for (const Arealis::Node* pNode : ring.GetNodes())
            {
                EXPECT_EQ(nodeSet.Find(pNode->Position), pNode);
                ++slots[pNode];
            }
            rings.push_back(RingText(ring));
        }
        std::sort(rings.begin(), rings.end());
        std::string text;
        Arealis::PolygonEnumerator parents = layer.GetPolygonLayer()->GetParents(pPolygon);
        int parentCount = 0;
        while (parents.MoveNext())
        {
            ++parentCount;
        }
        text += std::to_string(parentCount) + " parents:";
        for (const std::string& ring : rings)
        {
            text += " [" + ring + "]";
        }
        state.Polygons.push_back(text);
    }
    std::sort(state.Polygons.begin(), state.Polygons.end());
    constexpr double Big = std::numeric_limits<double>::max();
    Collections::PlainArray<Arealis::Node*> nodes;
    nodeSet.FindNodes(Arealis::Rectangle(-Big, -Big, Big, Big), nodes);
    for (const Arealis::Node* pNode : nodes)
    {
        EXPECT_EQ(pNode->ReferenceCount, slots[pNode]) << pNode->Position.X << ' '
                                                       << pNode->Position.Y;
        state.Nodes[{pNode->Position.X, pNode->Position.Y}] = pNode->ReferenceCount;
    }
    EXPECT_EQ(nodes.Count(), static_cast<std::int32_t>(slots.size()));
    return state;
}

std::vector<Point> Square(double x, double y, double side)
{
    return {{x, y}, {x, y + side}, {x + side, y + side}, {x + side, y}};
}

// Random edits of two layers, each recorded in the history as the program records it: the
// edits go to a layer drawn as the current one, a Boolean operation takes its operands from
// either layer and puts the result, whose parents they become, into the current one.
class Session
{
public:
    Session(std::vector<DisplayLayer*> layers, EditHistory& history, unsigned seed)
        : m_layers(std::move(layers)), m_history(history), m_random(seed)
    {
    }

    // One edit; false when the one drawn was refused or had nothing to work on.
    bool Edit()
    {
        m_pLayer = m_layers[static_cast<std::size_t>(Draw(static_cast<int>(m_layers.size())))];
        switch (Draw(6))
        {
        case 0:
        case 1:
            return CreatePolygon();
        case 2:
            return AddHole();
        case 3:
        case 4:
            return MoveNode();
        case 5:
            return Draw(2) == 0 ? DeletePolygon() : Combine();
        default:
            return false;
        }
    }

    void MaybeCommit()
    {
        if (Draw(4) != 0)
        {
            return;
        }
        DisplayLayer& layer =
            *m_layers[static_cast<std::size_t>(Draw(static_cast<int>(m_layers.size())))];
        Arealis::Topology& topology = *layer.GetTopology();
        try
        {
            m_history.Commit(topology, [&topology] { topology.Commit(); });
        }
        catch (const Exceptions::Exception&) // NOLINT(bugprone-empty-catch)
        {
            // Invalid polygons stay in the edit list, as in the program.
        }
    }

private:
    int Draw(int count) { return std::uniform_int_distribution<int>(0, count - 1)(m_random); }

    Polygon* AnyPolygon() { return AnyPolygonOf(*m_pLayer); }
    Polygon* AnyPolygonOf(DisplayLayer& layer)
    {
        std::vector<Polygon*> polygons;
        Arealis::PolygonEnumerator all = layer.GetPolygonLayer()->GetPolygons();
        while (all.MoveNext())
        {
            polygons.push_back(all.Current());
        }
        return polygons.empty() ? nullptr
                                : polygons[static_cast<std::size_t>(
                                      Draw(static_cast<int>(polygons.size())))];
    }

    // Squares on a grid of 10, so that neighbours share their corner nodes.
    bool CreatePolygon()
    {
        Polygon* pPolygon = m_pLayer->GetPolygonLayer()->CreatePolygon();
        pPolygon->CreateRing()->AddNodes(Square(10.0 * Draw(5), 10.0 * Draw(5), 10));
        m_history.RecordCreated(*m_pLayer, *pPolygon, "Add polygon");
        return true;
    }

    bool AddHole()
    {
        Polygon* pPolygon = AnyPolygon();
        if (pPolygon == nullptr || pPolygon->IsUsed())
        {
            return false;
        }
        const Arealis::Rectangle bounds = pPolygon->GetBounds();
        auto change = m_history.PrepareChange(*m_pLayer, {pPolygon}, "Add ring");
        std::vector<Point> hole = Square(bounds.MinX + 2 + Draw(3), bounds.MinY + 2 + Draw(3), 3);
        std::reverse(hole.begin(), hole.end());
        pPolygon->CreateRing()->AddNodes(hole);
        m_history.Record(std::move(change));
        return true;
    }

    // To a free point, or onto a node of a polygon that shares no ring with the node (a merge
    // within one ring would leave a repeated node for the commit to clean).
    bool MoveNode()
    {
        Polygon* pPolygon = AnyPolygon();
        if (pPolygon == nullptr || pPolygon->GetFirstRing() == nullptr ||
            pPolygon->GetFirstRing()->Count() == 0)
        {
            return false;
        }
        const Arealis::Ring& ring = *pPolygon->GetFirstRing();
        Arealis::Node* pNode = ring.GetNode(Draw(ring.Count()));
        Collections::PlainArray<Polygon*> users;
        m_pLayer->GetPolygonLayer()->CollectPolygonsUsingNode(pNode, users);
        Point target{pNode->Position.X + Draw(7) - 3, pNode->Position.Y + Draw(7) - 3};
        Polygon* pOther = AnyPolygon();
        if (Draw(2) == 0 && pOther != nullptr &&
            std::find(users.begin(), users.end(), pOther) == users.end() &&
            pOther->GetFirstRing() != nullptr && pOther->GetFirstRing()->Count() > 0)
        {
            target = pOther->GetFirstRing()->GetNode(0)->Position;
            Collections::PlainArray<Polygon*> targetUsers;
            m_pLayer->GetPolygonLayer()->CollectPolygonsUsingNode(
                pOther->GetFirstRing()->GetNode(0), targetUsers);
            for (Polygon* pUser : targetUsers)
            {
                if (std::find(users.begin(), users.end(), pUser) != users.end())
                {
                    return false;
                }
            }
        }
        if (target == pNode->Position)
        {
            return false;
        }
        auto change = m_history.PrepareChange(
            *m_pLayer, std::vector<Polygon*>(users.begin(), users.end()), "Move node");
        try
        {
            m_pLayer->GetTopology()->MoveNode(pNode, target);
        }
        catch (const Exceptions::Exception&)
        {
            return false; // a node of a parent
        }
        m_history.Record(std::move(change));
        return true;
    }

    bool DeletePolygon()
    {
        Polygon* pPolygon = AnyPolygon();
        if (pPolygon == nullptr)
        {
            return false;
        }
        try
        {
            m_history.DeletePolygon(*m_pLayer, *pPolygon);
        }
        catch (const Exceptions::Exception&)
        {
            return false; // a parent
        }
        return true;
    }

    // Union, intersection or difference of two committed polygons of any layer.
    bool Combine()
    {
        Polygon* pA = AnyPolygonOf(*m_layers[static_cast<std::size_t>(Draw(2))]);
        Polygon* pB = AnyPolygonOf(*m_layers[static_cast<std::size_t>(Draw(2))]);
        // Committed operands: the overlay works on valid polygons.
        if (pA == nullptr || pB == nullptr || pA == pB || pA->IsEditing() || pB->IsEditing())
        {
            return false;
        }
        Arealis::PolygonLayer& layer = *m_pLayer->GetPolygonLayer();
        const int operation = Draw(3);
        Polygon* pResult = nullptr;
        try
        {
            pResult = operation == 0   ? layer.Union(pA, pB, true)
                      : operation == 1 ? layer.Intersection(pA, pB, true)
                                       : layer.Substract(pA, pB, true);
        }
        catch (const Exceptions::Exception&)
        {
            return false; // operands the overlay refuses (invalid rings)
        }
        if (pResult == nullptr)
        {
            return false;
        }
        m_history.RecordCreated(*m_pLayer, *pResult, "Boolean");
        return true;
    }

    std::vector<DisplayLayer*> m_layers;
    DisplayLayer* m_pLayer = nullptr;
    EditHistory& m_history;
    std::mt19937 m_random;
};

TEST(EditHistoryTest, RandomSessionsUndoneToTheStartAndRedoneToTheEndPassTheRecordedStates)
{
    for (unsigned seed = 1; seed <= 12; ++seed)
    {
        SCOPED_TRACE("seed " + std::to_string(seed));
        DisplayLayer first("first");
        DisplayLayer second("second");
        EditHistory history;
        history.SetLayerLookup([&first, &second](const Arealis::PolygonLayer& layer)
                               { return first.GetPolygonLayer() == &layer ? &first : &second; });
        Session session({&first, &second}, history, seed);
        const auto capture = [&first, &second]
        { return std::pair(Capture(first), Capture(second)); };
        std::vector<std::pair<TopologyState, TopologyState>> before;
        while (before.size() < 30)
        {
            session.MaybeCommit();
            auto state = capture();
            if (session.Edit())
            {
                before.push_back(std::move(state));
            }
        }
        const auto end = capture();

        for (std::size_t i = before.size(); i-- > 0;)
        {
            ASSERT_TRUE(history.CanUndo());
            history.Undo();
            ASSERT_EQ(capture(), before[i]) << "undoing edit " << i;
        }
        EXPECT_FALSE(history.CanUndo());
        for (std::size_t i = 0; i < before.size(); ++i)
        {
            ASSERT_TRUE(history.CanRedo());
            history.Redo();
            ASSERT_EQ(capture(), i + 1 < before.size() ? before[i + 1] : end)
                << "redoing edit " << i;
        }
        EXPECT_FALSE(history.CanRedo());
    }
}

} // namespace
} // namespace Orvista

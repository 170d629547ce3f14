#include "Arealis/PolygonLayer.h"

#include "Arealis/Criterions.h"
#include "Arealis/GeometryExceptions.h"
#include "Arealis/LayerPolygonEnumerator.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonEnumerator.h"
#include "Arealis/Topology.h"
#include "Collections/PlainArray.h"
#include "Exceptions/InvalidOperationException.h"
#include "model/ModelTestSupport.h"
#include "model/PreparedPolygons.h"
#include "validation/PolygonRepairs.h"
#include "support/WorkAhead.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <vector>

using namespace Arealis;
using namespace ModelTesting;

namespace
{

std::vector<Polygon*> ToVector(PolygonEnumerator polygons)
{
    std::vector<Polygon*> result;
    while (polygons.MoveNext())
    {
        result.push_back(polygons.Current());
    }
    return result;
}

Polygon* AddBox(PolygonLayer& layer, double minX, double minY, double maxX, double maxY)
{
    Polygon* polygon = layer.CreatePolygon();
    AddRings(*polygon, {Box(minX, minY, maxX, maxY)});
    return polygon;
}

Collections::PlainArray<Polygon*> ListOf(std::initializer_list<Polygon*> polygons)
{
    Collections::PlainArray<Polygon*> list;
    for (Polygon* polygon : polygons)
    {
        list.Append(polygon);
    }
    return list;
}

class PolygonLayerTest : public testing::Test
{
protected:
    ScopedTopology m_topology;
    PolygonLayer& m_layer = *m_topology->CreatePolygonLayer(false);
};

TEST_F(PolygonLayerTest, CommitReportsInvalidBeforeOverlappingAndKeepsFailuresInTheEditList)
{
    Polygon* first = AddBox(m_layer, 0, 0, 10, 10);
    Polygon* overlapping = AddBox(m_layer, 5, 5, 15, 15);
    Polygon* invalid = m_layer.CreatePolygon();
    AddRings(*invalid, {Hole(20, 20, 30, 30)});
    Polygon* apart = AddBox(m_layer, 40, 40, 50, 50);

    EXPECT_EQ(Failure([&] { m_layer.Commit(); }),
              "The polygon layer contains invalid polygons. @ PolygonLayer, line: 391");
    // Last first: apart and overlapping are committed, first then overlaps overlapping.
    EXPECT_EQ(m_layer.GetCommittedCount(), 2);
    EXPECT_EQ(ToVector(m_layer.GetPolygons()),
              (std::vector<Polygon*>{apart, overlapping, first, invalid}));
    EXPECT_TRUE(first->IsEditing());
    EXPECT_TRUE(first->HasFlag(Ring::Flags::Editing));
    EXPECT_FALSE(apart->IsEditing());
    EXPECT_FALSE(apart->HasFlag(Ring::Flags::Editing));

    m_layer.DeletePolygon(invalid);
    EXPECT_EQ(Failure([&] { m_layer.Commit(); }),
              "The polygon layer contains overlapping polygons. @ PolygonLayer, line: 394");
    EXPECT_EQ(Failure([&] { m_layer.EndEdit(first); }),
              "The Polygon overlaps an other committed Polygon. @ PolygonLayer, line: 410");
    EXPECT_EQ(m_layer.GetEditingCount(), 1);
    EXPECT_EQ(m_layer.GetPolygonCount(), 3);
}

TEST_F(PolygonLayerTest, LayerThatAllowsOverlapCommitsOverlappingPolygons)
{
    PolygonLayer& overlapLayer = *m_topology->CreatePolygonLayer(true);
    AddBox(overlapLayer, 0, 0, 10, 10);
    AddBox(overlapLayer, 5, 5, 15, 15);
    EXPECT_NO_THROW(overlapLayer.Commit());
    EXPECT_EQ(overlapLayer.GetCommittedCount(), 2);
    EXPECT_TRUE(overlapLayer.AllowsOverlap());
    EXPECT_EQ(overlapLayer.GetBounds(), Rectangle(0, 0, 15, 15));
}

TEST_F(PolygonLayerTest, CommitRepairsRingsBeforeValidating)
{
    Polygon* polygon = m_layer.CreatePolygon();
    AddRings(*polygon, {{{0, 0}, {0, 2}, {0, 5}, {0, 2}, {5, 5}, {5, 0}}, {{7, 7}, {8, 8}}});
    EXPECT_NO_THROW(m_layer.Commit());
    ASSERT_EQ(polygon->GetRingCount(), 1);
    EXPECT_EQ(PointsOf(*polygon->GetFirstRing()), (Points{{0, 0}, {0, 2}, {5, 5}, {5, 0}}));
}

// A grid of cells sharing their corners, one polygon each: boxes, and among them holes alone
// (invalid), boxes with a spike and a ring of two points (repaired), and bow ties (split).
std::vector<Polygon*> AddCells(PolygonLayer& layer, int side, int commitEvery)
{
    std::vector<Polygon*> cells;
    for (int row = 0; row < side; ++row)
    {
        for (int column = 0; column < side; ++column)
        {
            const auto x = double(column);
            const auto y = double(row);
            const int kind = (row * side + column) % 13;
            Polygon* cell = layer.CreatePolygon();
            if (kind == 3)
            {
                AddRings(*cell, {Hole(x, y, x + 1, y + 1)});
            }
            else if (kind == 5)
            {
                AddRings(*cell, {{{x, y},
                                  {x, y + 0.5},
                                  {x - 0.25, y + 0.5},
                                  {x, y + 0.5},
                                  {x, y + 1},
                                  {x + 1, y + 1},
                                  {x + 1, y}},
                                 {{x + 0.5, y + 0.5}, {x + 0.75, y + 0.75}}});
            }
            else if (kind == 8)
            {
                AddRings(*cell, {{{x, y}, {x + 1, y + 1}, {x + 1, y}, {x, y + 1}}});
            }
            else
            {
                AddRings(*cell, {Box(x, y, x + 1, y + 1)});
            }
            cells.push_back(cell);
            if (commitEvery > 0 && cells.size() % commitEvery == 0)
            {
                Failure([&layer] { layer.Commit(); });
            }
        }
    }
    return cells;
}

TEST(PolygonLayerCommitTest, LongCommitEndsAsCommitsOfFewPolygonsDo)
{
    // A commit of many polygons checks them on the layer's threads and repairs them in order
    // ahead of the filing, a few at a time by the filing thread when it waits for them;
    // short commits prepare and file in turn. Both must leave every polygon alike, the
    // topology's nodes too. The threads are used here also on a machine with one core.
    constexpr int Side = 50;
    ScopedTopology wholeTopology;
    wholeTopology->SetLayerThreads(2);
    PolygonLayer& whole = *wholeTopology->CreatePolygonLayer(true);
    const std::vector<Polygon*> wholeCells = AddCells(whole, Side, 0);
    Detail::SecondCoreOverride() = 1;
    const std::string failure = Failure([&whole] { whole.Commit(); });
    Detail::SecondCoreOverride() = -1;
    EXPECT_EQ(failure, "The polygon layer contains invalid polygons. @ PolygonLayer, line: 391");
    ScopedTopology partsTopology;
    PolygonLayer& parts = *partsTopology->CreatePolygonLayer(true);
    const std::vector<Polygon*> partCells = AddCells(parts, Side, 50);

    EXPECT_EQ(whole.GetCommittedCount(), parts.GetCommittedCount());
    EXPECT_EQ(whole.GetEditingCount(), parts.GetEditingCount());
    EXPECT_GT(whole.GetEditingCount(), Side);
    EXPECT_EQ(wholeTopology->GetNodeSet().Count(), partsTopology->GetNodeSet().Count());
    for (std::size_t i = 0; i < wholeCells.size() && !testing::Test::HasFailure(); ++i)
    {
        const Polygon& cell = *wholeCells[i];
        const Polygon& part = *partCells[i];
        EXPECT_EQ(cell.IsEditing(), part.IsEditing()) << i;
        EXPECT_EQ(cell.HasFlag(Ring::Flags::Editing), part.HasFlag(Ring::Flags::Editing)) << i;
        const std::vector<Ring*> rings = RingsOf(cell);
        const std::vector<Ring*> partRings = RingsOf(part);
        ASSERT_EQ(rings.size(), partRings.size()) << i;
        for (std::size_t r = 0; r < rings.size(); ++r)
        {
            EXPECT_EQ(PointsOf(*rings[r]), PointsOf(*partRings[r])) << i;
        }
    }
    // The kinds that a commit repairs or splits were among them.
    EXPECT_EQ(RingsOf(*wholeCells[5]).size(), 1U);
    EXPECT_EQ(RingsOf(*wholeCells[8]).size(), 2U);
}

// The path through the corners in turn with perSide nodes on each leg, closed back to the
// first corner.
Points DensePath(const Points& corners, int perSide)
{
    Points points;
    for (std::size_t c = 0; c < corners.size(); ++c)
    {
        const Point& a = corners[c];
        const Point& b = corners[(c + 1) % corners.size()];
        for (int k = 0; k < perSide; ++k)
        {
            const double t = double(k) / perSide;
            points.push_back({a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y)});
        }
    }
    return points;
}

// A grid of large cells, one polygon of some hundred nodes each, among them each kind that
// preparing repairs or refuses, and cells that overlap their right neighbour.
std::vector<Polygon*> AddLargeCells(PolygonLayer& layer, int side)
{
    constexpr int PerSide = 80;
    std::vector<Polygon*> cells;
    for (int cell = 0; cell < side * side; ++cell)
    {
        const double x = cell % side;
        const double y = cell / side;
        Points outline = DensePath(Box(x + 0.1, y + 0.1, x + 0.9, y + 0.9), PerSide);
        Polygon* polygon = layer.CreatePolygon();
        switch (cell % 9)
        {
        case 1: // a repeated node
            outline.insert(outline.begin() + 7, outline[7]);
            break;
        case 2: // a spike out of the left side and back
            outline.insert(outline.begin() + 9, {{x + 0.05, outline[8].Y}, outline[8]});
            break;
        case 3: // a bow tie, split in two
            outline = DensePath(
                {{x + 0.1, y + 0.1}, {x + 0.9, y + 0.9}, {x + 0.9, y + 0.1}, {x + 0.1, y + 0.9}},
                PerSide);
            break;
        case 4: // a hole alone: invalid
            outline = Reversed(outline);
            break;
        case 5: // over its right neighbour
            outline = DensePath(Box(x + 0.1, y + 0.1, x + 1.5, y + 0.9), PerSide);
            break;
        default:
            break;
        }
        AddPoints(*polygon->CreateRing(), outline);
        if (cell % 9 == 6) // a ring of two nodes, removed
        {
            AddRings(*polygon, {{{x + 0.5, y + 0.5}, {x + 0.6, y + 0.6}}});
        }
        else if (cell % 9 == 8) // a ring of three that is a spike, removed
        {
            AddRings(*polygon, {{{x + 0.5, y + 0.5}, {x + 0.6, y + 0.6}, {x + 0.5, y + 0.5}}});
        }
        else if (cell % 9 == 7) // a hole, and a hole thinner than the node grid, dropped
        {
            AddRings(*polygon, {DensePath(Hole(x + 0.3, y + 0.3, x + 0.7, y + 0.7), PerSide),
                                {{x + 0.2, y + 0.2}, {x + 0.8, y + 0.2}, {x + 0.5, y + 0.200001}}});
        }
        cells.push_back(polygon);
    }
    return cells;
}

TEST(PolygonLayerCommitTest, LargePolygonsPreparedOnSeveralThreadsCommitAsInTurn)
{
    // Checked on several threads, repaired and filed in turn, the polygons end as the commit
    // on one thread leaves them: the same repairs, refusals, failure and order.
    constexpr int Side = 16;
    for (const bool allowOverlap : {true, false})
    {
        std::vector<std::vector<Points>> rings[2];
        std::vector<bool> editing[2];
        std::vector<std::size_t> orders[2];
        std::string failures[2];
        std::int32_t nodes[2] = {};
        for (const int threads : {1, 2})
        {
            ScopedTopology topology;
            topology->SetLayerThreads(threads);
            PolygonLayer& layer = *topology->CreatePolygonLayer(allowOverlap);
            const std::vector<Polygon*> cells = AddLargeCells(layer, Side);
            ASSERT_TRUE(Detail::IsLargePreparation(cells));
            const std::vector<bool> repairs = {false, true, true, true, false,
                                               false, true, true, true};
            for (std::size_t k = 0; k < repairs.size(); ++k)
            {
                EXPECT_EQ(Detail::NeedsRepair(*cells[k]), repairs[k]) << k;
            }
            const auto t = static_cast<std::size_t>(threads - 1);
            failures[t] = Failure([&layer] { layer.Commit(); });
            nodes[t] = topology->GetNodeSet().Count();
            for (const Polygon* cell : cells)
            {
                editing[t].push_back(cell->IsEditing());
                editing[t].push_back(cell->HasFlag(Ring::Flags::Editing));
                std::vector<Points> points;
                for (const Ring* ring : RingsOf(*cell))
                {
                    points.push_back(PointsOf(*ring));
                }
                rings[t].push_back(points);
            }
            for (const Polygon* polygon : ToVector(layer.GetPolygons()))
            {
                orders[t].push_back(static_cast<std::size_t>(
                    std::find(cells.begin(), cells.end(), polygon) - cells.begin()));
            }
        }
        EXPECT_EQ(failures[0],
                  "The polygon layer contains invalid polygons. @ PolygonLayer, line: 391");
        EXPECT_EQ(failures[1], failures[0]) << allowOverlap;
        EXPECT_EQ(nodes[1], nodes[0]) << allowOverlap;
        EXPECT_EQ(editing[1], editing[0]) << allowOverlap;
        EXPECT_EQ(orders[1], orders[0]) << allowOverlap;
        EXPECT_TRUE(rings[1] == rings[0]) << allowOverlap;
        // The repairs took place: the bow tie is split, the ring of two nodes and the thin
        // hole gone, the repeated node and the spike removed.
        EXPECT_EQ(rings[0][3].size(), 2U);
        EXPECT_EQ(rings[0][6].size(), 1U);
        EXPECT_EQ(rings[0][7].size(), 2U);
        EXPECT_EQ(rings[0][8].size(), 1U);
        EXPECT_EQ(rings[0][1][0].size(), rings[0][0][0].size());
        EXPECT_EQ(rings[0][2][0].size(), rings[0][0][0].size());
    }
}

// What a commit into a layer that must not overlap meets, in enough polygons for it to test
// them on several threads.
enum class CommitCase
{
    Cells,        // a grid of touching cells with invalid ones among them
    CellsAndMore, // with copies over cells, and away from the grid chains of overlapping boxes
    Copies,       // copies of one box
};

// The polygons of a case in commit order (the commit takes the edit list from its end, so
// they are created last first). In CellsAndMore, the first chain's first box is committed
// before the others are made.
std::vector<Polygon*> AddCommitCase(PolygonLayer& layer, CommitCase kind)
{
    constexpr int Side = 33;
    std::vector<Points> shapes;
    const auto add = [&shapes](const Points& shape) { shapes.push_back(shape); };
    const bool more = kind == CommitCase::CellsAndMore;
    if (more)
    {
        add(Box(100, 100, 102, 102));
        add(Box(101, 101, 103, 103));     // overlaps the first: refused
        add(Box(102.5, 102.5, 104, 104)); // overlaps only the refused one: committed
        add(Box(103.5, 103.5, 105, 105)); // overlaps the one before: refused
        add(Hole(200, 200, 202, 202));    // invalid
        add(Box(200, 200, 202, 202));     // over the invalid one: committed
        add(Box(300, 300, 302, 302));
        add(Box(301, 301, 303, 303));     // refused: overlaps the one before
        add(Box(303, 301, 305, 302.5));   // touches the refused one
        add(Box(302.5, 302.5, 304, 304)); // overlaps only the refused one, touches the one before
    }
    for (int cell = 0; cell < Side * Side; ++cell)
    {
        const double x = cell % Side;
        const double y = cell / Side;
        if (kind == CommitCase::Copies)
        {
            add(Box(0, 0, 1, 1));
        }
        else
        {
            add(cell % 97 == 3 ? Hole(x, y, x + 1, y + 1) : Box(x, y, x + 1, y + 1));
        }
    }
    if (more)
    {
        add(Box(5, 5, 6, 6));           // a copy of a cell
        add(Box(9.5, 9.5, 10.5, 10.5)); // over four cells
    }
    std::vector<Polygon*> polygons(shapes.size());
    const auto create = [&](std::size_t k)
    {
        polygons[k] = layer.CreatePolygon();
        Ring* ring = polygons[k]->CreateRing();
        AddPoints(*ring, shapes[k]);
    };
    const std::size_t first = more ? 1 : 0;
    if (more)
    {
        create(0);
        layer.Commit();
    }
    for (std::size_t k = shapes.size(); k-- > first;)
    {
        create(k);
    }
    return polygons;
}

TEST(PolygonLayerCommitTest, OverlapTestsOnSeveralThreadsRefuseWhatOneThreadRefuses)
{
    const std::string invalid =
        "The polygon layer contains invalid polygons. @ PolygonLayer, line: 391";
    const std::string overlapping =
        "The polygon layer contains overlapping polygons. @ PolygonLayer, line: 394";
    // The grid's cells but 12 invalid ones, and the boxes of the chains that are not refused;
    // of the copies, the first.
    const struct
    {
        CommitCase Kind;
        std::int32_t Committed;
        std::string Failure;
    } cases[] = {{CommitCase::Cells, 1077, invalid},
                 {CommitCase::CellsAndMore, 1077 + 6, invalid},
                 {CommitCase::Copies, 1, overlapping}};
    for (const auto& commitCase : cases)
    {
        const auto kind = static_cast<int>(commitCase.Kind);
        std::vector<std::vector<std::size_t>> orders;
        std::vector<std::vector<bool>> editing;
        for (const int threads : {1, 2})
        {
            ScopedTopology topology;
            topology->SetLayerThreads(threads);
            PolygonLayer& layer = *topology->CreatePolygonLayer(false);
            const std::vector<Polygon*> polygons = AddCommitCase(layer, commitCase.Kind);
            EXPECT_EQ(Failure([&layer] { layer.Commit(); }), commitCase.Failure) << kind;
            EXPECT_EQ(layer.GetCommittedCount(), commitCase.Committed) << kind;
            // Committed polygons in the index's order, then the edit list in its order.
            std::vector<std::size_t> order;
            for (const Polygon* polygon : ToVector(layer.GetPolygons()))
            {
                order.push_back(static_cast<std::size_t>(
                    std::find(polygons.begin(), polygons.end(), polygon) - polygons.begin()));
            }
            orders.push_back(order);
            std::vector<bool> flags;
            for (const Polygon* polygon : polygons)
            {
                flags.push_back(polygon->IsEditing());
                flags.push_back(polygon->HasFlag(Ring::Flags::Editing));
            }
            editing.push_back(flags);
            if (commitCase.Kind == CommitCase::CellsAndMore)
            {
                EXPECT_TRUE(polygons[1]->IsEditing());
                EXPECT_FALSE(polygons[2]->IsEditing());
                EXPECT_TRUE(polygons[3]->IsEditing());
                EXPECT_FALSE(polygons[5]->IsEditing());
                EXPECT_TRUE(polygons[7]->IsEditing());
                EXPECT_FALSE(polygons[9]->IsEditing());
                EXPECT_TRUE(polygons[polygons.size() - 2]->IsEditing());
                EXPECT_TRUE(polygons[polygons.size() - 1]->IsEditing());
            }
        }
        EXPECT_EQ(orders[1], orders[0]) << kind;
        EXPECT_EQ(editing[1], editing[0]) << kind;
    }
}

TEST(PolygonLayerCommitTest, APolygonOverManyOthersIsTestedOnSeveralThreadsAsOnOne)
{
    // A frame around a grid of cells, committed after them: its bounds meet every cell, so
    // that its tests are split over the threads. With an island over a cell inside the grid,
    // one test in the middle of the frame's finds the overlap that refuses it.
    constexpr int Side = 33;
    for (const bool island : {false, true})
    {
        std::vector<std::vector<bool>> editing;
        for (const int threads : {1, 2})
        {
            ScopedTopology topology;
            topology->SetLayerThreads(threads);
            PolygonLayer& layer = *topology->CreatePolygonLayer(false);
            std::vector<Points> frame = {Box(-1, -1, Side + 1, Side + 1), Hole(0, 0, Side, Side)};
            if (island)
            {
                frame.push_back(Box(16.2, 17.2, 16.8, 17.8));
            }
            std::vector<Polygon*> polygons{layer.CreatePolygon()}; // the edit list's first
            for (const Points& ring : frame)
            {
                AddPoints(*polygons.front()->CreateRing(), ring);
            }
            for (int cell = 0; cell < Side * Side; ++cell)
            {
                polygons.push_back(
                    AddBox(layer, cell % Side, cell / Side, cell % Side + 1, cell / Side + 1));
            }
            if (island)
            {
                EXPECT_THROW(layer.Commit(), PolygonsOverlapException) << threads;
            }
            else
            {
                EXPECT_NO_THROW(layer.Commit()) << threads;
            }
            EXPECT_EQ(layer.GetCommittedCount(), Side * Side + (island ? 0 : 1)) << threads;
            std::vector<bool> flags;
            for (const Polygon* polygon : polygons)
            {
                flags.push_back(polygon->IsEditing());
            }
            editing.push_back(flags);
        }
        EXPECT_EQ(editing[1], editing[0]) << island;
    }
}

TEST_F(PolygonLayerTest, MovingANodeOfACommittedPolygonReturnsItToTheEditList)
{
    Polygon* left = AddBox(m_layer, 0, 0, 10, 10);
    Polygon* right = AddBox(m_layer, 10, 0, 20, 10);
    Polygon* far = AddBox(m_layer, 30, 0, 40, 10);
    m_layer.Commit();
    ASSERT_EQ(m_layer.GetEditingCount(), 0);

    m_topology->MoveNode(far->GetNode(0), Point{31, 1});
    EXPECT_TRUE(far->IsEditing());
    EXPECT_EQ(m_layer.GetEditingCount(), 1);
    // Committed polygons first, then the edit list.
    const std::vector<Polygon*> all = ToVector(m_layer.GetPolygons(Rectangle(0, 0, 40, 10)));
    ASSERT_EQ(all.size(), 3U);
    EXPECT_EQ(all.back(), far);
    EXPECT_EQ(ToVector(m_layer.GetPolygons(Rectangle(30.5, 0.5, 31.5, 1.5))),
              (std::vector<Polygon*>{far}));

    left->InsertNode(1, -5.0, 5.0); // a change of its own takes the polygon out of the index too
    EXPECT_TRUE(left->IsEditing());
    EXPECT_EQ(ToVector(m_layer.GetPolygons(Rectangle(0, 0, 40, 10))),
              (std::vector<Polygon*>{right, far, left}));
    m_layer.Commit();
    EXPECT_EQ(m_layer.GetEditingCount(), 0);
    EXPECT_EQ(m_layer.GetBounds().MinX, -5.0);
}

// A query's enumerator lists what the query found when it was made: editing polygons (which
// moves them from the index to the edit list), committing them back or adding polygons while
// it is in use neither skips nor repeats one.
TEST_F(PolygonLayerTest, EditingDuringAQueryVisitsEveryPolygonOnce)
{
    std::vector<Polygon*> polygons;
    for (int i = 0; i < 200; ++i)
    {
        polygons.push_back(AddBox(m_layer, 20.0 * (i % 20), 20.0 * (i / 20), 20.0 * (i % 20) + 10,
                                  20.0 * (i / 20) + 10));
    }
    const std::vector<PolygonEnumerator (*)(const PolygonLayer&)> queries{
        [](const PolygonLayer& layer) { return layer.GetPolygons(); },
        [](const PolygonLayer& layer) { return layer.GetPolygons(Rectangle(-1, -1, 1e3, 1e3)); }};
    for (const auto& query : queries)
    {
        m_layer.Commit();
        std::set<Polygon*> visited;
        int visits = 0;
        PolygonEnumerator enumerator = query(m_layer);
        while (enumerator.MoveNext())
        {
            Polygon* polygon = enumerator.Current();
            visited.insert(polygon);
            ++visits;
            m_layer.BeginEdit(polygon); // as every change of one of its rings does
            if (visits == 100)
            {
                m_layer.Commit();
                AddBox(m_layer, -100, -100, -90, -90);
            }
        }
        EXPECT_EQ(visits, 200);
        EXPECT_EQ(visited.size(), static_cast<std::size_t>(visits));
    }
}

TEST_F(PolygonLayerTest, DeleteRefusesACommittedPolygonTheIndexCannotFind)
{
    std::vector<Polygon*> polygons;
    for (int i = 0; i < 30; ++i) // enough for index nodes above the leaves
    {
        polygons.push_back(AddBox(m_layer, 20.0 * i, 0, 20.0 * i + 10, 10));
    }
    m_layer.Commit();
    Polygon* polygon = polygons.front();
    // Moving a node behind the layer's back changes the bounds the index searches with.
    Node* corner = polygon->GetNode(2);
    m_topology->GetNodeSet().MoveNode(corner, Point{5000, 5000});
    EXPECT_EQ(Failure([&] { m_layer.DeletePolygon(polygon); }),
              "The polygon to be removed fro the spatial index is not contained in the spatial "
              "index @ PolygonLayer, line: 316");
    EXPECT_EQ(m_layer.GetPolygonCount(), 30);
    m_topology->GetNodeSet().MoveNode(corner, Point{10, 10});
    m_layer.DeletePolygon(polygon);
    EXPECT_EQ(m_layer.GetPolygonCount(), 29);
}

TEST_F(PolygonLayerTest, DeletingManyAtOnceTakesCommittedAndEditedPolygonsOrNone)
{
    std::vector<Polygon*> polygons;
    for (int i = 0; i < 40; ++i)
    {
        polygons.push_back(AddBox(m_layer, 20.0 * i, 0, 20.0 * i + 10, 10));
        if (i == 29)
        {
            m_layer.Commit(); // 30 in the index, 10 in the edit list
        }
    }
    Polygon freePolygon(nullptr);
    const std::vector<Polygon*> refused{polygons[0], polygons[35], &freePolygon};
    EXPECT_EQ(Failure([&] { m_layer.DeletePolygons(refused); }),
              "The Polygon does not belong to the PolygonLayer. @ PolygonLayer, line: 312");
    EXPECT_EQ(m_layer.GetPolygonCount(), 40);

    // Every other polygon, one of them named twice.
    std::vector<Polygon*> doomed{polygons[0]};
    std::vector<Polygon*> kept;
    for (std::size_t i = 0; i < polygons.size(); ++i)
    {
        (i % 2 == 0 ? doomed : kept).push_back(polygons[i]);
    }
    m_layer.DeletePolygons(doomed);
    EXPECT_EQ(m_layer.GetPolygonCount(), 20);
    std::vector<Polygon*> left = ToVector(m_layer.GetPolygons());
    std::ranges::sort(left);
    std::ranges::sort(kept);
    EXPECT_EQ(left, kept);
    EXPECT_EQ(ToVector(m_layer.GetPolygons(Rectangle(0, 0, 10, 10))), std::vector<Polygon*>{});
    m_layer.Commit();
    EXPECT_EQ(m_layer.GetCommittedCount(), 20);
}

TEST_F(PolygonLayerTest, ReorderingTheEndOfTheEditListChecksTheWholeOrderFirst)
{
    std::vector<Polygon*> boxes;
    for (int i = 0; i < 5; ++i)
    {
        boxes.push_back(AddBox(m_layer, 20.0 * i, 0, 20.0 * i + 10, 10));
    }
    const std::vector<Polygon*> before = boxes;
    const auto refused = [&](std::int32_t first, std::vector<std::int32_t> order)
    {
        const std::string message = Failure([&] { m_layer.ReorderEditing(first, order); });
        EXPECT_EQ(ToVector(m_layer.GetPolygons()), before);
        return message;
    };
    const std::string outOfRange = "Argument is out of range @ PolygonLayer, line: 610";
    const std::string invalid = "Invalid argument @ PolygonLayer, line: 614";
    EXPECT_EQ(refused(2, {4, 3}), outOfRange); // not every position from 2 on
    EXPECT_EQ(refused(6, {}), outOfRange);     // beyond the end
    EXPECT_EQ(refused(2, {4, 2, 4}), invalid); // one twice, one missing
    EXPECT_EQ(refused(2, {4, 1, 3}), invalid); // one before first
    EXPECT_EQ(refused(2, {4, 2, 5}), invalid); // one beyond the end

    // Positions 1 to 4 take the polygons of 4, 3, 2 and 1: two cycles of two.
    m_layer.ReorderEditing(1, std::vector<std::int32_t>{4, 3, 2, 1});
    EXPECT_EQ(ToVector(m_layer.GetPolygons()),
              (std::vector<Polygon*>{boxes[0], boxes[4], boxes[3], boxes[2], boxes[1]}));
    m_layer.ReorderEditing(5, {});
    m_layer.Commit();
    EXPECT_EQ(m_layer.GetCommittedCount(), 5);
}

TEST_F(PolygonLayerTest, QueriesAndTheirChecks)
{
    Polygon* a = AddBox(m_layer, 0, 0, 10, 10);
    Polygon* b = AddBox(m_layer, 20, 0, 30, 10);
    EXPECT_EQ(Failure([&] { m_layer.GetPolygons(Rectangle(0, 0, 1, 1), 1); }),
              "Invalid spatial relation identifier. @ PolygonLayer, line: 203");
    EXPECT_EQ(Failure(
                  [&] {
                      m_layer.FindPolygon({0, 0}, -1);
                  }),
              "dToleranceDistance < 0 @ PolygonLayer, line: 210");
    EXPECT_EQ(Failure([&] { m_layer.GetPolygonsAt(nullptr); }),
              "The pointer is not valid. @ PolygonLayer, line: 249");
    EXPECT_EQ(Failure([&] { m_layer.GetNodeBounds(nullptr); }),
              "The pointer is not valid. @ PolygonLayer, line: 271");
    EXPECT_EQ(Failure([&] { m_layer.AddPolygon(nullptr); }),
              "The pointer is not valid. @ PolygonLayer, line: 298");
    EXPECT_EQ(Failure([&] { m_layer.DeletePolygon(nullptr); }),
              "The pointer is not valid. @ PolygonLayer, line: 310");
    Polygon freePolygon(nullptr);
    EXPECT_EQ(Failure([&] { m_layer.DeletePolygon(&freePolygon); }),
              "The Polygon does not belong to the PolygonLayer. @ PolygonLayer, line: 312");
    EXPECT_EQ(Failure([&] { m_layer.Union(nullptr, a, false); }),
              "The pointer is not valid. @ PolygonLayer, line: 530");
    EXPECT_EQ(Failure([&] { m_layer.Intersection(a, nullptr, false); }),
              "The pointer is not valid. @ PolygonLayer, line: 530");
    EXPECT_EQ(Failure([] { RectangleOverlapCriterion(Rectangle()).Matches(nullptr); }),
              "The pointer is not valid. @ Criterions, line: 57");

    // Touching at a corner is enough for the bounds query.
    EXPECT_EQ(ToVector(m_layer.GetPolygons(Rectangle(10, 10, 12, 12))), (std::vector<Polygon*>{a}));
    EXPECT_EQ(ToVector(m_layer.GetPolygonsAt(b->GetNode(0))), (std::vector<Polygon*>{b}));
    EXPECT_EQ(m_layer.GetNodeBounds(a->GetNode(1)), Rectangle(0, 0, 10, 10));
}

TEST_F(PolygonLayerTest, FindPolygonInAHoleNearAnotherPolygon)
{
    Polygon* withHole = m_layer.CreatePolygon();
    AddRings(*withHole, {Box(0, 0, 20, 20), Hole(5, 5, 15, 15)});
    Polygon* island = AddBox(m_layer, 8, 8, 12, 12);
    m_layer.Commit();

    EXPECT_EQ(m_layer.FindPolygon({7, 10}, 1.5), island);   // inside the hole, near the island
    EXPECT_EQ(m_layer.FindPolygon({6, 10}, 1.5), withHole); // nearer the hole's boundary
    EXPECT_EQ(m_layer.FindPolygon({7, 10}, 0.5), nullptr);
    EXPECT_EQ(m_layer.FindPolygon({10, 10}, 0), island);
    EXPECT_EQ(m_layer.FindPolygon({2, 10}, 0), withHole);
}

TEST_F(PolygonLayerTest, ParentsPinTheirPolygonsUntilCleared)
{
    Polygon* parent = AddBox(m_layer, 0, 0, 10, 10);
    Polygon* child = AddBox(m_layer, 20, 0, 30, 10);
    m_layer.Commit();
    m_layer.SetParents(child, ListOf({parent}));
    EXPECT_TRUE(parent->IsUsed());
    EXPECT_EQ(ToVector(m_layer.GetParents(child)), (std::vector<Polygon*>{parent}));
    EXPECT_TRUE(ToVector(m_layer.GetParents(parent)).empty());

    EXPECT_EQ(Failure([&] { m_layer.DeletePolygon(parent); }),
              "The Polygon is contained in the Parents collection of an other Polygon. @ "
              "PolygonLayer, line: 314");
    EXPECT_EQ(Failure([&] { parent->AddNode(5.0, -5.0); }),
              "The Polygon is contained in the Parents collection of an other Polygon. @ "
              "PolygonLayer, line: 342");
    EXPECT_EQ(parent->Count(), 4);
    EXPECT_EQ(Failure(
                  [&] {
                      m_topology->MoveNode(parent->GetNode(0), Point{1, 1});
                  }),
              "The node cannot be moved because is contained in a polygon that is contained in "
              "the Parents collection of an other Polygon. @ Topology, line: 147");

    m_layer.SetParents(child, ListOf({parent})); // replacing the collection keeps one use
    m_layer.ClearParents(child);
    EXPECT_FALSE(parent->IsUsed());
    m_layer.DeletePolygon(parent);
    EXPECT_EQ(m_layer.GetPolygonCount(), 1);
}

// The table of many polygons' parents (one walk over the layer's records) and of a few (a
// search each) agrees with the parents of each polygon, whatever the order asked for.
TEST_F(PolygonLayerTest, ParentTableMatchesEachPolygonsParents)
{
    const std::vector<Polygon*> parents{AddBox(m_layer, 0, 0, 1, 1), AddBox(m_layer, 2, 0, 3, 1),
                                        AddBox(m_layer, 4, 0, 5, 1)};
    std::vector<Polygon*> children;
    for (int i = 0; i < 90; ++i)
    {
        children.push_back(m_layer.CreatePolygon());
        if (i % 4 == 1)
        {
            m_layer.SetParents(children.back(), ListOf({parents[i % 3]}));
        }
        else if (i % 4 == 2)
        {
            m_layer.SetParents(children.back(), ListOf({parents[2], parents[i % 2]}));
        }
    }
    std::vector<Polygon*> asked(children.rbegin(), children.rend());
    asked.insert(asked.end(), {parents[0], children[1], children[1]});
    for (const std::vector<Polygon*>& list :
         {asked, std::vector<Polygon*>{children[6], children[5]}})
    {
        const ParentTable table = m_layer.GetParentTable(list);
        ASSERT_EQ(table.Count(), list.size());
        for (std::size_t i = 0; i < list.size(); ++i)
        {
            const std::span<Polygon* const> of = table.Of(i);
            EXPECT_EQ(std::vector<Polygon*>(of.begin(), of.end()),
                      ToVector(m_layer.GetParents(list[i])))
                << "polygon " << i << " of " << list.size();
        }
    }
    for (Polygon* child : children)
    {
        m_layer.ClearParents(child);
    }
}

TEST_F(PolygonLayerTest, UseCountsOverflowBeyond255Parents)
{
    Polygon* parent = AddBox(m_layer, 0, 0, 1, 1);
    std::vector<Polygon*> children;
    for (int i = 0; i < 600; ++i)
    {
        children.push_back(m_layer.CreatePolygon());
        m_layer.SetParents(children.back(), ListOf({parent}));
    }
    EXPECT_TRUE(parent->HasPolygonFlag(Polygon::PolygonFlags::CountOverflow));
    for (std::size_t i = 0; i + 1 < children.size(); ++i)
    {
        m_layer.ClearParents(children[i]);
        ASSERT_TRUE(parent->IsUsed()) << "after releasing " << i + 1 << " uses";
    }
    m_layer.ClearParents(children.back());
    EXPECT_FALSE(parent->IsUsed());
    EXPECT_FALSE(parent->HasPolygonFlag(Polygon::PolygonFlags::CountOverflow));
    EXPECT_EQ(parent->GetUseCount(), 0);
}

TEST_F(PolygonLayerTest, ParentsInOtherLayersAndTopologiesAreCounted)
{
    PolygonLayer& other = *m_topology->CreatePolygonLayer(false);
    Polygon* parent = AddBox(m_layer, 0, 0, 1, 1);
    Polygon* child = other.CreatePolygon();
    other.SetParents(child, ListOf({parent}));
    EXPECT_EQ(m_layer.GetForeignParentUses(), 1);
    EXPECT_EQ(m_topology->GetForeignParentCount(), 0);

    ScopedTopology foreign;
    PolygonLayer& foreignLayer = *foreign->CreatePolygonLayer(false);
    Polygon* foreignChild = foreignLayer.CreatePolygon();
    foreignLayer.SetParents(foreignChild, ListOf({parent}));
    EXPECT_EQ(m_layer.GetForeignParentUses(), 2);
    EXPECT_EQ(m_topology->GetForeignParentCount(), 1);
    EXPECT_EQ(Failure([&] { Topology::Delete(m_topology.Get()); }),
              "Topology contains polygons that are parents for polygons from other topologies. @ "
              "Topology, line: 225");
    foreignLayer.ClearParents(foreignChild);
    other.ClearParents(child);
    EXPECT_EQ(m_layer.GetForeignParentUses(), 0);
    EXPECT_EQ(m_topology->GetForeignParentCount(), 0);

    Polygon freePolygon(nullptr);
    EXPECT_EQ(Failure([&] { other.SetParents(child, ListOf({&freePolygon})); }),
              "The pointer is not valid. @ PolygonLayer, line: 565");
    EXPECT_EQ(Failure([&] { other.SetParents(parent, ListOf({child})); }),
              "The Polygon does not belong to the PolygonLayer. @ PolygonLayer, line: 562");
}

TEST_F(PolygonLayerTest, AddPolygonCopiesIntoTheLayersTopology)
{
    Polygon source(nullptr);
    AddRings(source, {Box(0, 0, 10, 10), Hole(2, 2, 4, 4)});
    Polygon* copy = m_layer.AddPolygon(&source);
    EXPECT_TRUE(copy->IsEqual(&source, 0));
    EXPECT_EQ(copy->GetNode(0)->TopologyId, m_topology->GetId());
    EXPECT_TRUE(copy->IsEditing());

    Polygon* second = m_layer.AddPolygon(copy); // same topology: the nodes are shared
    EXPECT_EQ(second->GetNode(0), copy->GetNode(0));
    EXPECT_EQ(copy->GetNode(0)->ReferenceCount, 2U);
    EXPECT_EQ(m_layer.GetPolygonCount(), 2);
}

TEST_F(PolygonLayerTest, PolygonOperationsMakeTheirResultInTheLayer)
{
    Polygon* a = AddBox(m_layer, 0, 0, 10, 10);
    Polygon* b = AddBox(m_layer, 5, 0, 15, 10);
    PolygonLayer& results = *m_topology->CreatePolygonLayer(true);
    Polygon* common = results.Intersection(a, b, true);
    ASSERT_NE(common, nullptr);
    EXPECT_EQ(common->GetLayer(), &results);
    EXPECT_EQ(common->GetBounds(), Rectangle(5, 0, 10, 10));
    EXPECT_EQ(ToVector(results.GetParents(common)), (std::vector<Polygon*>{a, b}));
    EXPECT_TRUE(a->IsUsed());
    EXPECT_TRUE(b->IsUsed());
}

TEST(PolygonEnumeratorTest, EmptyHolderAndCopies)
{
    PolygonEnumerator empty;
    EXPECT_FALSE(empty.MoveNext());
    EXPECT_EQ(Failure([&] { empty.Current(); }),
              "The enumerator is not initialized. @ PolygonEnumerator, line: 41");

    LayerPolygonEnumerator neither(nullptr, nullptr);
    EXPECT_FALSE(neither.MoveNext());
    EXPECT_EQ(Failure([&] { neither.Current(); }),
              "Uninitialized enumerator. @ Collections/Enumerator, line: 90");

    ScopedTopology topology;
    PolygonLayer& layer = *topology->CreatePolygonLayer(false);
    Polygon* polygon = AddBox(layer, 0, 0, 1, 1);
    PolygonEnumerator all = layer.GetPolygons();
    ASSERT_TRUE(all.MoveNext());
    PolygonEnumerator copy = all; // a copy starts before the first item
    ASSERT_TRUE(copy.MoveNext());
    EXPECT_EQ(copy.Current(), polygon);
    EXPECT_FALSE(all.MoveNext());
    const PolygonEnumerator& same = all;
    all = same;
    all.Reset();
    EXPECT_TRUE(all.MoveNext());
}

} // namespace

#include "Arealis/NodesPtrSet.h"

#include "Arealis/Node.h"
#include "Exceptions/ArgumentException.h"

#include <gtest/gtest.h>
#include <vector>

using Arealis::Node;
using Arealis::NodesPtrSet;
using Arealis::Point;

namespace
{

std::vector<Point> Positions(const NodesPtrSet& set)
{
    std::vector<Point> points;
    const auto enumerator = set.GetEnumerator();
    while (enumerator->MoveNext())
    {
        points.push_back(enumerator->Current()->Position);
    }
    return points;
}

TEST(NodesPtrSetTest, OrdersNodesByXThenY)
{
    Node a{{1, 2}};
    Node b{{0, 5}};
    Node c{{1, 0}};
    NodesPtrSet set;
    set.Insert(&a);
    set.Insert(&b);
    set.Insert(&c);
    EXPECT_EQ(Positions(set), (std::vector<Point>{{0, 5}, {1, 0}, {1, 2}}));

    std::vector<Point> fromOne;
    set.VisitFrom(Point{1, 0},
                  [&](const Node* node)
                  {
                      fromOne.push_back(node->Position);
                      return true;
                  });
    EXPECT_EQ(fromOne, (std::vector<Point>{{1, 0}, {1, 2}}));
}

TEST(NodesPtrSetTest, KeepsOneNodePerPositionAndRemovesByIdentity)
{
    Node stored{{3, 4}};
    Node twin{{3, 4}};
    NodesPtrSet set;
    ASSERT_TRUE(set.Insert(&stored));

    Node* existing = nullptr;
    EXPECT_FALSE(set.Insert(&twin, &existing));
    EXPECT_EQ(existing, &stored);
    EXPECT_FALSE(set.Remove(&twin));
    EXPECT_EQ(set.Count(), 1);

    Node* found = nullptr;
    EXPECT_TRUE(set.Find(Point{3, 4}, &found));
    EXPECT_EQ(found, &stored);
    EXPECT_FALSE(set.Find(Point{3, 4.000001}, nullptr));

    EXPECT_TRUE(set.Remove(&stored));
    EXPECT_TRUE(set.IsEmpty());
    EXPECT_TRUE(set.Insert(&twin));
}

TEST(NodesPtrSetTest, RefusesANullNodeWithoutChange)
{
    NodesPtrSet set;
    try
    {
        set.Insert(nullptr);
        FAIL() << "a null node was accepted";
    }
    catch (const Exceptions::ArgumentException& e)
    {
        EXPECT_STREQ(e.Message(), "The pointer is not valid.");
    }
    EXPECT_THROW(set.Remove(nullptr), Exceptions::ArgumentException);
    EXPECT_TRUE(set.IsEmpty());
}

} // namespace

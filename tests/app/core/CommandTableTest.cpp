#include "CommandTable.h"

#include "CommandRouting.h"
#include "Commands.h"

#include <gtest/gtest.h>
#include <set>

namespace Orvista
{
namespace
{

using namespace CommandId;

TEST(CommandTableTest, VisibleToolbarButtons)
{
    EXPECT_EQ(VisibleButtons(FirstToolbar()), (std::vector<int>{FileOpen, DeleteSelectedLayer}));
    EXPECT_EQ(VisibleButtons(SecondToolbar()),
              (std::vector<int>{ModeZoomIn, ModeZoomOut, ZoomToCurrent, 0, ModeSelect, 0,
                                UniteAllPolygons, 0, UniteTwoLayers, IntersectLayers,
                                SubtractLayers, JoinLayers}));
}

TEST(CommandTableTest, EveryMenuItemAndButtonHasAnEntry)
{
    std::set<int> ids;
    for (const CommandInfo& info : AllCommands())
    {
        EXPECT_TRUE(ids.insert(info.Id).second) << "duplicate " << info.Id;
    }
    for (const MenuInfo& menu : MainMenu())
    {
        for (int id : menu.Items)
        {
            EXPECT_TRUE(id == 0 || ids.count(id) == 1) << id;
        }
    }
    for (const ToolbarLayout& toolbar : {FirstToolbar(), SecondToolbar()})
    {
        for (int id : toolbar.Buttons)
        {
            EXPECT_TRUE(id == 0 || ids.count(id) == 1) << id;
        }
    }
}

TEST(CommandTableTest, TextsSplitIntoLabelPromptAndTooltip)
{
    const CommandInfo& open = FindCommand(FileOpen);
    EXPECT_EQ(MenuLabel(open), "&Open Layer...");
    EXPECT_EQ(StatusPrompt(open), "Open an existing layer");
    EXPECT_EQ(ToolTip(open), "Open Layer...");
    EXPECT_EQ(open.Shortcut, "Ctrl+O");

    EXPECT_EQ(ToolTip(FindCommand(ZoomToCurrent)), "Zoom To Selected Layer");
    EXPECT_EQ(ToolTip(FindCommand(ModeZoomIn)), "Zoom In");
    EXPECT_EQ(ToolTip(FindCommand(AppAbout)), "About Arealis Demo...");
    EXPECT_THROW(FindCommand(1), std::out_of_range);
}

class RecordingTarget : public ICommandTarget
{
public:
    RecordingTarget(std::set<int> handled, bool enabled)
        : m_handled(std::move(handled)), m_enabled(enabled)
    {
    }

    std::vector<int> Ran;

    bool OnCommand(int id) override
    {
        if (m_handled.count(id) == 0)
        {
            return false;
        }
        Ran.push_back(id);
        return true;
    }
    bool OnUpdateCommand(int id, CommandState& state) override
    {
        if (m_handled.count(id) == 0)
        {
            return false;
        }
        state.Enabled = m_enabled;
        return true;
    }

private:
    std::set<int> m_handled;
    bool m_enabled;
};

TEST(CommandRoutingTest, TheFirstTargetThatHandlesACommandWins)
{
    RecordingTarget view({1, 2}, false);
    RecordingTarget document({2, 3}, true);
    ICommandTarget* chain[] = {&view, nullptr, &document};

    EXPECT_TRUE(RouteCommand(chain, 2));
    EXPECT_TRUE(RouteCommand(chain, 3));
    EXPECT_FALSE(RouteCommand(chain, 4));
    EXPECT_EQ(view.Ran, std::vector<int>{2});
    EXPECT_EQ(document.Ran, std::vector<int>{3});

    EXPECT_FALSE(QueryCommandState(chain, 2).Enabled);
    EXPECT_TRUE(QueryCommandState(chain, 3).Enabled);
    // Nobody handles it: disabled.
    EXPECT_FALSE(QueryCommandState(chain, 4).Enabled);
}

} // namespace
} // namespace Orvista

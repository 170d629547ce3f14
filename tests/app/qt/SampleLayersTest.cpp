#include "Arealis/PolygonLayer.h"
#include "Commands.h"
#include "DisplayLayer.h"
#include "DrawingViewWidget.h"
#include "LayerReader.h"
#include "LayerTreeWidget.h"
#include "MainWindow.h"
#include "OrvistaDoc.h"
#include "QtReporter.h"
#include "QtTestSupport.h"
#include "RecentFileList.h"
#include "SetOperationDialog.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace Orvista
{
namespace
{

using namespace CommandId;

// The program as it starts, with the real shapefile reader, on the sample layers.
class SampleLayersTest : public ::testing::Test, private Testing::WithApplication
{
public:
    SampleLayersTest() { platform.SetMainWindow(&window); }
    ~SampleLayersTest() override { platform.SetMainWindow(nullptr); }

protected:
    static std::filesystem::path Samples()
    {
        const char* pSource = std::getenv("AREALIS_SOURCE_DIR");
        return std::filesystem::path(pSource != nullptr ? pSource : ".") / "data" / "samples";
    }

    Testing::ScriptedPlatform platform;
    QtReporter reporter{platform};
    ShapefileLayerReader reader{reporter};
    RecentFileList recentFiles{4};
    COrvistaDoc document{platform, reader};
    MainWindow window{platform, document, recentFiles};
};

TEST_F(SampleLayersTest, IntersectingTheSampleLayersThroughTheDialog)
{
    const std::filesystem::path parcels = Samples() / "parcels.shp";
    const std::filesystem::path zones = Samples() / "zones.shp";
    if (!std::filesystem::exists(parcels) || !std::filesystem::exists(zones))
    {
        GTEST_SKIP() << "no sample layers in " << Samples();
    }
    window.show();
    ASSERT_TRUE(window.OpenFile(QString::fromStdString(parcels.string())));
    ASSERT_TRUE(window.OpenFile(QString::fromStdString(zones.string())));
    ASSERT_EQ(document.GetLayers().size(), 2U);
    EXPECT_GT(document.GetLayers()[0]->GetPolygonLayer()->GetPolygonCount(), 1);
    EXPECT_TRUE(platform.Boxes.empty());

    // The dialog runs modally: answer it from the event loop.
    QString title;
    QTimer::singleShot(0, &window,
                       [&title]
                       {
                           auto* pDialog =
                               qobject_cast<SetOperationDialog*>(QApplication::activeModalWidget());
                           if (pDialog != nullptr)
                           {
                               title = pDialog->windowTitle();
                               pDialog->OkButton().click();
                           }
                       });
    window.RunCommand(IntersectLayers);

    EXPECT_EQ(title, QStringLiteral("Intersection"));
    ASSERT_EQ(document.GetLayers().size(), 3U);
    const DisplayLayer& result = *document.GetLayers()[2];
    EXPECT_EQ(result.Name(), WithoutShpExtension(zones.string()) + "_" +
                                 WithoutShpExtension(parcels.string()) + "_Intersection");
    EXPECT_GT(result.GetPolygonLayer()->GetPolygonCount(), 0);
    EXPECT_EQ(window.Tree().topLevelItemCount(), 3);
    ASSERT_EQ(platform.Boxes.size(), 1U);
    EXPECT_EQ(platform.Boxes[0].rfind("Operation duration: ", 0), 0U) << platform.Boxes[0];
}

} // namespace
} // namespace Orvista

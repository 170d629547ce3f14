// The main window on a real X server with the program's own file reader: a GeoPackage table
// chosen in the list dialog, a picked polygon's attributes in the Attributes panel, and a
// result layer exported through the file dialog and read back; a layer read again with the
// precision chosen in its dialog.

#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "AttributesDock.h"
#include "Commands.h"
#include "DisplayLayer.h"
#include "DrawingViewWidget.h"
#include "Formats/VectorSource.h"
#include "LayerReader.h"
#include "MainWindow.h"
#include "OrvistaDoc.h"
#include "PrecisionDialog.h"
#include "QtReporter.h"
#include "QtTestSupport.h"
#include "RecentFileList.h"
#include "SetOperationDialog.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <gtest/gtest.h>

namespace Orvista
{
namespace
{

namespace fs = std::filesystem;
using namespace CommandId;

class LayerFilesSessionTest : public ::testing::Test, private Testing::WithApplication
{
public:
    LayerFilesSessionTest()
    {
        platform.SetMainWindow(&window);
        fs::remove_all(folder); // what a run that was stopped left behind
        fs::create_directories(folder);
        window.show();
        window.View().setFixedSize(400, 400);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    ~LayerFilesSessionTest() override
    {
        platform.SetMainWindow(nullptr);
        fs::remove_all(folder);
    }

protected:
    static fs::path Samples()
    {
        const char* pSource = std::getenv("AREALIS_SOURCE_DIR");
        return fs::path(pSource != nullptr ? pSource : AREALIS_SOURCE_ROOT) / "data" / "samples";
    }
    // Answers the next modal window of type Dialog from the event loop, as soon as it shows
    // (a file dialog may take a while to appear on a busy machine).
    template <class Dialog>
    void Answer(std::function<void(Dialog&)> answer)
    {
        auto* pPoll = new QTimer(&window);
        auto waited = std::make_shared<int>(0);
        QObject::connect(pPoll, &QTimer::timeout, pPoll,
                         [pPoll, waited, answer]
                         {
                             auto* pDialog =
                                 qobject_cast<Dialog*>(QApplication::activeModalWidget());
                             constexpr int GiveUpAfter = 500; // polls of 20 ms
                             if (pDialog == nullptr && ++*waited < GiveUpAfter)
                             {
                                 return;
                             }
                             pPoll->stop();
                             pPoll->deleteLater();
                             if (pDialog == nullptr)
                             {
                                 // Another window asks instead: it is closed, so that the test
                                 // fails rather than waits for ever.
                                 if (QWidget* pOther = QApplication::activeModalWidget())
                                 {
                                     pOther->close();
                                 }
                             }
                             ASSERT_NE(pDialog, nullptr) << "no dialog to answer";
                             answer(*pDialog);
                         });
        pPoll->start(20);
    }

    Testing::ScriptedPlatform platform;
    QtReporter reporter{platform};
    LayerFileReader reader{reporter};
    RecentFileList recentFiles{4};
    COrvistaDoc document{platform, reader};
    MainWindow window{platform, document, recentFiles};
    fs::path folder = fs::temp_directory_path() / "orvista-layer-files-session";
};

TEST_F(LayerFilesSessionTest, OpenATableShowAttributesAndExportAResult)
{
    // The GeoPackage holds two polygon tables: the list dialog asks which.
    Answer<QInputDialog>(
        [](QInputDialog& dialog)
        {
            dialog.setTextValue(QStringLiteral("parcels"));
            dialog.accept();
        });
    ASSERT_TRUE(window.OpenFile(QString::fromStdString((Samples() / "samples.gpkg").string())));
    ASSERT_TRUE(window.OpenFile(QString::fromStdString((Samples() / "zones.shp").string())));
    const DisplayLayer& parcels = *document.GetLayers().front();
    EXPECT_EQ(parcels.Name(), (Samples() / "samples.gpkg").string() + ":parcels");

    // Intersect (A: the zones, the current layer), then pick a piece in Select mode.
    Answer<SetOperationDialog>([](SetOperationDialog& dialog) { dialog.OkButton().click(); });
    window.RunCommand(IntersectLayers);
    ASSERT_EQ(document.GetLayers().size(), 3U);
    DisplayLayer& result = *document.GetLayers().back();
    window.RunCommand(ModeSelect);
    Arealis::PolygonEnumerator pieces = result.GetPolygonLayer()->GetPolygons();
    ASSERT_TRUE(pieces.MoveNext());
    window.View().Logic().SetSelection(pieces.Current(), nullptr, -1, nullptr);
    QTreeWidget& panel = window.Attributes().Table();
    ASSERT_EQ(panel.topLevelItemCount(), 3);
    EXPECT_TRUE(panel.topLevelItem(1)->text(0).startsWith(QStringLiteral("Parent: zones.shp")));
    EXPECT_TRUE(
        panel.topLevelItem(2)->text(0).startsWith(QStringLiteral("Parent: samples.gpkg:parcels")));
    EXPECT_EQ(panel.topLevelItem(2)->child(2)->text(0), QStringLiteral("OWNER"));

    // Export Layer through the file dialog; the file holds every piece with both tables.
    const fs::path output = folder / "pieces.shp";
    Answer<QFileDialog>(
        [&output](QFileDialog& dialog)
        {
            // The name is typed, and the dialog ended directly: its own selection and accept go
            // through its folder model, which may still be loading, and then wait for it or
            // take the folder for the file.
            auto* pName = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(pName, nullptr);
            pName->setText(QString::fromStdString(output.string()));
            static_cast<QDialog&>(dialog).done(QDialog::Accepted);
        });
    window.RunCommand(FileExportLayer);
    EXPECT_TRUE(platform.Boxes.size() == 1U) << platform.Boxes.back();
    const Formats::SourceDescription read = Formats::ReadShapefileCompanions(output.string());
    EXPECT_EQ(read.Attributes.Rows.size(),
              static_cast<std::size_t>(result.GetPolygonLayer()->GetPolygonCount()));
    std::vector<std::string> names;
    for (const Formats::Field& field : read.Attributes.Fields)
    {
        names.push_back(field.Name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"ID_1", "NOTE_1", "CODE", "NAME", "ID_2", "NOTE_2",
                                               "OWNER", "LOT", "a_record", "b_record"}));
}

TEST_F(LayerFilesSessionTest, TheDegreeDefaultsOfThePrecisionDialogReReadTheLayer)
{
    ASSERT_TRUE(window.OpenFile(QString::fromStdString((Samples() / "zones.shp").string())));
    const DisplayLayer& zones = *document.GetLayers().front();
    const std::int32_t count = zones.GetPolygonLayer()->GetPolygonCount();
    Answer<PrecisionDialog>(
        [](PrecisionDialog& dialog)
        {
            for (QPushButton* pButton : dialog.findChildren<QPushButton*>())
            {
                if (pButton->text() == QStringLiteral("Defaults for &degrees"))
                {
                    pButton->click();
                }
            }
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
    window.RunCommand(LayerPrecision);
    EXPECT_EQ(zones.GetTopology()->GetPrecision(), Arealis::Precision::Geographic());
    EXPECT_EQ(zones.GetPolygonLayer()->GetPolygonCount(), count);
}

} // namespace
} // namespace Orvista

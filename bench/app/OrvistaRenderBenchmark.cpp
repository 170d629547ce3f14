// Drawing a large layer in Orvista's drawing view, on Qt's offscreen platform:
//
//   bench_orvista_render <layer.shp> [Google Benchmark flags]
//
// BM_FullRender draws every layer again (as a zoom does) and puts the picture on the window;
// BM_PaintWithoutChange paints the window when nothing changed (the view copies its picture);
// BM_WheelZoomFrame is one frame of zooming with the mouse wheel; BM_ZoomClickFrame and
// BM_PanEndFrame are the frames that a zoom click (or zoom to layer) and the end of a pan
// draw at once, coarsely for a large layer; BM_FullRender is also the drawing that follows
// once the view rests.
#include "DisplayLayer.h"
#include "DrawingViewWidget.h"
#include "LayerReader.h"
#include "MainWindow.h"
#include "OrvistaDoc.h"
#include "QtPlatform.h"
#include "RecentFileList.h"
#include "ViewNavigation.h"
#include "Shapefile/Reporter.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWheelEvent>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <string>

namespace
{

// Messages go to standard error: a modal box would wait for a click that never comes.
class BenchPlatform final : public Orvista::QtPlatform
{
public:
    Orvista::BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                                      Orvista::MessageBoxKind) override
    {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return Orvista::BoxAnswer::Ok;
    }
};

// The program's windows with one layer opened, shown at a common screen size.
struct Program
{
    explicit Program(const std::string& path)
    {
        platform.SetMainWindow(&window);
        window.resize(1600, 1000);
        window.show();
        QCoreApplication::processEvents();
        if (!document.OpenLayerFile(path))
        {
            throw std::runtime_error(path + ": the layer could not be opened");
        }
        View().RenderPending();
    }
    ~Program() { platform.SetMainWindow(nullptr); }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    Orvista::DrawingViewWidget& View() { return window.View(); }

    BenchPlatform platform;
    Arealis::StderrReporter reporter;
    Orvista::ShapefileLayerReader reader{reporter};
    Orvista::RecentFileList recentFiles{4};
    Orvista::COrvistaDoc document{platform, reader};
    Orvista::MainWindow window{platform, document, recentFiles};
};

std::unique_ptr<Program> g_program;

void BM_FullRender(benchmark::State& state)
{
    Orvista::DrawingViewWidget& view = g_program->View();
    for (auto _ : state)
    {
        view.Logic().MarkLayersForRendering();
        view.Logic().SetRedrawNeeded(true);
        view.Invalidate();
        view.RenderPending();
        view.repaint();
    }
    state.counters["pixels"] = static_cast<double>(view.width()) * view.height();
}
BENCHMARK(BM_FullRender)->Unit(benchmark::kMillisecond);

void BM_PaintWithoutChange(benchmark::State& state)
{
    Orvista::DrawingViewWidget& view = g_program->View();
    for (auto _ : state)
    {
        view.Invalidate();
        view.RenderPending();
        view.repaint();
    }
}
BENCHMARK(BM_PaintWithoutChange)->Unit(benchmark::kMillisecond);

// One frame of zooming with the wheel: the wheel turns a notch (in, then out, about the
// centre) and the window is painted; the layers are drawn once the wheel rests, after the
// measured frames.
void BM_WheelZoomFrame(benchmark::State& state)
{
    Orvista::DrawingViewWidget& view = g_program->View();
    const QPoint centre = view.rect().center();
    int delta = 120;
    for (auto _ : state)
    {
        QWheelEvent wheel(centre, view.mapToGlobal(centre), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &wheel);
        view.repaint();
        delta = -delta;
    }
    // After the timed loop: the wheel rests and the layers are drawn at the last zoom.
    QEventLoop rest;
    QTimer::singleShot(Orvista::DrawingViewWidget::WheelRestMilliseconds * 2, &rest,
                       &QEventLoop::quit);
    rest.exec();
    view.RenderPending();
}
BENCHMARK(BM_WheelZoomFrame)->Unit(benchmark::kMillisecond);

// The view rests: the coarse pictures of the timed frames are drawn fully before the next case.
void Settle(Orvista::DrawingViewWidget& view)
{
    view.Logic().SettleView();
    view.RenderPending();
}

// A zoom click, in then out about the centre (zoom to layer draws the same frame).
void BM_ZoomClickFrame(benchmark::State& state)
{
    Orvista::DrawingViewWidget& view = g_program->View();
    const QPoint centre = view.rect().center();
    double factor = 0.5;
    for (auto _ : state)
    {
        Orvista::ZoomAboutClick(view.Logic(), {centre.x(), centre.y()}, factor);
        view.RenderPending();
        view.repaint();
        factor = 1.0 / factor;
    }
    Settle(view);
}
BENCHMARK(BM_ZoomClickFrame)->Unit(benchmark::kMillisecond);

// The middle button is released after dragging the picture by a fifth of the view.
void BM_PanEndFrame(benchmark::State& state)
{
    Orvista::DrawingViewWidget& view = g_program->View();
    int dx = view.width() / 5;
    for (auto _ : state)
    {
        Orvista::PanByPixels(view.Logic(), dx, 0);
        view.RenderPending();
        view.repaint();
        dx = -dx;
    }
    Settle(view);
}
BENCHMARK(BM_PanEndFrame)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    benchmark::Initialize(&argc, argv);
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: bench_orvista_render <layer.shp> [benchmark flags]\n");
        return 2;
    }
    QApplication application(argc, argv);
    try
    {
        g_program = std::make_unique<Program>(argv[1]);
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "bench_orvista_render: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "view %d x %d pixels\n", g_program->View().width(),
                 g_program->View().height());
    benchmark::RunSpecifiedBenchmarks();
    g_program.reset();
    benchmark::Shutdown();
    return 0;
}

// Reads arbitrary bytes as a shapefile main file, as the desktop program and the command-line
// tool do, then runs a layer operation on what was read, as the tool does with a hostile file.
//
// Checked: the reader either reads or reports one error, never anything else; a committed
// polygon is valid; every node of the layer is a finite point of the layer's topology;
// reading the same file again adds to the layer and loses nothing already loaded.
//
// The reporter answers Cancel to errors for inputs of even length and OK (the error reaches
// the caller as an exception) for odd ones. The low two bits of byte 32 of the file (the
// header's shape type, which the reader ignores) choose the layer operation: none, the join
// with a small fixed layer, the union with it, or the intersection of the layer with itself.
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "Exceptions/Exception.h"
#include "FuzzSupport.h"
#include "Shapefile/ShapefileReader.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace Arealis;

namespace
{

class CountingReporter final : public IReporter
{
public:
    explicit CountingReporter(bool answerOk) : m_answerOk(answerOk) {}

    void ShowMessage(const std::string&, const std::string&) override { ++Messages; }
    bool ShowError(const std::string& text) override
    {
        ++Errors;
        FUZZ_CHECK(!text.empty(), "an error is shown with a text");
        return m_answerOk;
    }

    int Messages = 0;
    int Errors = 0;

private:
    bool m_answerOk;
};

// The input as a file: an anonymous in-memory file, reached through /proc.
class MemoryFile
{
public:
    MemoryFile() : m_fd(memfd_create("fuzz.shp", 0))
    {
        FUZZ_CHECK(m_fd >= 0, "memfd_create");
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~MemoryFile() { close(m_fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const std::string& Write(const std::uint8_t* data, std::size_t size)
    {
        FUZZ_CHECK(ftruncate(m_fd, 0) == 0, "ftruncate");
        FUZZ_CHECK(pwrite(m_fd, data, size, 0) == static_cast<ssize_t>(size), "pwrite");
        return m_path;
    }

private:
    int m_fd;
    std::string m_path;
};

struct TopologyDeleter
{
    void operator()(Topology* pTopology) const { Topology::Delete(pTopology); }
};
using TopologyPtr = std::unique_ptr<Topology, TopologyDeleter>;

void CheckLayer(const PolygonLayer& layer)
{
    const std::uint8_t id = layer.GetTopology()->GetId();
    FUZZ_CHECK(layer.GetCommittedCount() + layer.GetEditingCount() == layer.GetPolygonCount(),
               "every polygon is either committed or being edited");
    PolygonEnumerator polygons = layer.GetPolygons();
    while (polygons.MoveNext())
    {
        Polygon* polygon = polygons.Current();
        if (!polygon->IsEditing())
        {
            FUZZ_CHECK(polygon->IsValid(), "a committed polygon is valid");
        }
        RingEnumerator rings = polygon->GetRings();
        while (rings.MoveNext())
        {
            const Ring* ring = rings.Current();
            for (std::int32_t i = 0; i < ring->Count(); ++i)
            {
                const Node* node = ring->GetNode(i);
                FUZZ_CHECK(std::isfinite(node->Position.X) && std::isfinite(node->Position.Y),
                           "node coordinates are finite");
                FUZZ_CHECK(node->TopologyId == id, "nodes belong to the layer's topology");
                FUZZ_CHECK(node->ReferenceCount > 0, "a used node is referenced");
            }
        }
    }
}

// Reads the file into the layer; false when the reader passed an error on.
bool Read(PolygonLayer& layer, const std::string& path, CountingReporter& reporter)
{
    const int errorsBefore = reporter.Errors;
    try
    {
        ReadShapefile(layer, path, reporter);
    }
    catch (const Exceptions::Exception&)
    {
        FUZZ_CHECK(reporter.Errors == errorsBefore + 1, "an error is shown before it is passed on");
        return false;
    }
    FUZZ_CHECK(reporter.Errors <= errorsBefore + 1, "one error per read at most");
    return true;
}

PolygonLayer* MakeFixedLayer(Topology& topology)
{
    PolygonLayer* layer = topology.CreatePolygonLayer(false);
    const double squares[][4] = {{0, 0, 10, 10}, {10, 0, 20, 10}, {-1e6, -1e6, -1e3, 1e6}};
    for (const auto& s : squares)
    {
        Ring* ring = layer->CreatePolygon()->CreateRing();
        ring->AddNode(s[0], s[1]);
        ring->AddNode(s[0], s[3]);
        ring->AddNode(s[2], s[3]);
        ring->AddNode(s[2], s[1]);
    }
    layer->Commit();
    return layer;
}

void RunLayerOperation(PolygonLayer& read, int choice)
{
    if (choice == 0)
    {
        return;
    }
    TopologyPtr results(Topology::Create());
    PolygonLayer* fixed = MakeFixedLayer(*results);
    PolygonLayer* result = nullptr;
    try
    {
        switch (choice)
        {
        case 1:
            result = results->Join(&read, fixed, true);
            break;
        case 2:
            result = results->Union(&read, fixed, false);
            break;
        default:
            result = results->Intersection(&read, &read, true);
            break;
        }
    }
    catch (const Exceptions::Exception&)
    {
        return; // refused with a library error: the tool reports it and goes on
    }
    try
    {
        results->Commit();
    }
    catch (const Exceptions::Exception&)
    {
    }
    CheckLayer(*result);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static MemoryFile file;
    const std::string& path = file.Write(data, size);
    CountingReporter reporter(size % 2 == 1);
    TopologyPtr topology(Topology::Create());
    PolygonLayer* layer = topology->CreatePolygonLayer(false);

    const bool completed = Read(*layer, path, reporter);
    CheckLayer(*layer);
    const std::int32_t firstCount = layer->GetPolygonCount();
    if (completed)
    {
        // A second read of the same file adds the same polygons again; the commit now reports
        // overlaps, but nothing loaded before may go.
        Read(*layer, path, reporter);
        CheckLayer(*layer);
        FUZZ_CHECK(layer->GetPolygonCount() == 2 * firstCount,
                   "a second read keeps the polygons loaded and adds the same ones again");
    }
    RunLayerOperation(*layer, size > 32 ? data[32] & 3 : 0);
    return 0;
}

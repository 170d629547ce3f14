#pragma once

#include "Arealis/PolygonTable.h"
#include "Arealis/Topology.h"
#include "Formats/PrecisionChoice.h"
#include "Formats/VectorSource.h"
#include "Shapefile/ShapefileReader.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Arealis
{
class Polygon;
class PolygonLayer;
} // namespace Arealis

namespace ArealisCli
{

// Deletes a topology without letting a failure escape a destructor: a topology whose polygons
// are still parents elsewhere cannot be deleted, so results are released before their inputs.
struct TopologyDeleter
{
    void operator()(Arealis::Topology* pTopology) const noexcept;
};
using TopologyPtr = std::unique_ptr<Arealis::Topology, TopologyDeleter>;

TopologyPtr CreateTopology();
// A topology with the given node grid and tolerance.
TopologyPtr CreateTopology(const Arealis::Precision& precision);

// The node grid and tolerance asked for (--grid, --tolerance).
using PrecisionChoice = Formats::PrecisionChoice;

// One source (a shapefile, or any vector source GDAL opens) loaded into a layer, remembering
// which record each polygon came from, with the source's attribute table and reference system.
// The layer is the first of a topology of its own, or a further layer of another input's
// topology: vertices the two inputs share are then one node record, which the result of an
// operation in that topology shares too.
class InputLayer
{
public:
    // Reads the file into a topology of its own; a file that cannot be read throws with a
    // message naming it. Messages of the layer's commit (invalid or overlapping polygons) are
    // kept as warnings. With skipBadRecords, malformed records are left out and listed in
    // ReadResult().BadRecords. threads: as Topology::SetLayerThreads, for the commit of what
    // is read (0: every core).
    // onPrecision, when given, is called with the precision chosen, before the first polygon
    // is made: a second input may then be read beside this one with that precision.
    using PrecisionChosen = std::function<void(const Arealis::Precision&)>;
    InputLayer(const std::string& path, std::string label, bool allowOverlap,
               bool skipBadRecords = false, const PrecisionChoice& precision = {}, int threads = 0,
               const PrecisionChosen& onPrecision = {});
    // As above, but into a new layer of host's topology, with its precision and threads. When
    // the file cannot be read, the polygons read so far are deleted again, so that the host's
    // topology holds what it held before (and an empty layer).
    InputLayer(const std::string& path, std::string label, bool allowOverlap,
               bool skipBadRecords, InputLayer& host);
    // Takes over loaded, an input read into a topology of its own with host's precision (on
    // another thread, while host was read), as a further layer of host's topology, with its
    // records, warnings and read result: the same layer as the constructor above would have
    // read, but for its nodes' records. loaded keeps an empty topology and is to be dropped.
    InputLayer(InputLayer& loaded, InputLayer& host);
    InputLayer(const InputLayer&) = delete;
    InputLayer& operator=(const InputLayer&) = delete;

    Arealis::PolygonLayer& Layer() const { return *m_layer; }
    const std::string& Path() const { return m_path; }
    const std::string& Label() const { return m_label; }
    const std::vector<std::string>& Warnings() const { return m_warnings; }
    // The records the reader skipped (not polygons) or left out (malformed).
    const Arealis::ShapefileReadResult& ReadResult() const { return m_readResult; }

    // The 0-based record of a polygon of this layer, -1 for a polygon that is not one.
    std::int64_t RecordOf(const Arealis::Polygon* pPolygon) const;

    const Formats::AttributeTable& Attributes() const { return m_description.Attributes; }
    const Formats::CoordinateSystem& System() const { return m_description.System; }
    const Arealis::Precision& Precision() const { return m_topology.GetPrecision(); }
    // Whether the input is geographic and took a default scaled to degrees.
    bool TookDegreeDefaults() const { return m_degreeDefaults; }

    // Replaces the layer by a copy transformed to another reference system, records kept. The
    // copy is a new layer of the same topology; the original layer is emptied.
    void Reproject(const Formats::CoordinateSystem& target);

    // Deletes the polygons that the layer's commit refused (invalid ones, still being edited),
    // with their records. The layer operations leave them out anyway, but a union commits the
    // larger layer once more and would stop at them.
    void DropRefused();

    // Gives up an own topology without freeing it, for a process about to end (Layer() stays
    // usable).
    void LeaveToExit() noexcept { static_cast<void>(m_ownTopology.release()); }

private:
    InputLayer(const std::string& path, std::string label, bool allowOverlap,
               bool skipBadRecords, TopologyPtr ownTopology, Arealis::Topology* pHostTopology);

    // Reads the source into the layer. An own topology takes the precision chosen for the
    // source's reference system before the first polygon is made; a layer of another input's
    // topology takes that topology's as it is.
    void Read(const PrecisionChoice& precision, const PrecisionChosen& onPrecision = {});
    void Remember(Arealis::Polygon* pPolygon, std::int64_t record);

    std::string m_path;
    std::string m_label;
    TopologyPtr m_ownTopology; // null for a layer of another input's topology
    Arealis::Topology& m_topology;
    Arealis::PolygonLayer* m_layer = nullptr;
    Arealis::PolygonTable<std::int64_t> m_records; // the record of each polygon
    std::vector<std::string> m_warnings;
    Arealis::ShapefileReadResult m_readResult;
    Formats::SourceDescription m_description;
    bool m_degreeDefaults = false;
    bool m_skipBadRecords = false;
};

} // namespace ArealisCli

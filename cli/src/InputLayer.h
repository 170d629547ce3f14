#pragma once

#include "Arealis/PolygonTable.h"
#include "Arealis/Topology.h"
#include "Formats/PrecisionChoice.h"
#include "Formats/VectorSource.h"
#include "Shapefile/ShapefileReader.h"

#include <cstdint>
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

// One source (a shapefile, or any vector source GDAL opens) loaded into a layer of a topology
// of its own, remembering which record each polygon came from, with the source's attribute
// table and reference system.
class InputLayer
{
public:
    // Reads the file; a file that cannot be read throws with a message naming it. Messages
    // of the layer's commit (invalid or overlapping polygons) are kept as warnings. With
    // skipBadRecords, malformed records are left out and listed in ReadResult().BadRecords.
    // threads: as Topology::SetLayerThreads, for the commit of what is read (0: every core).
    InputLayer(const std::string& path, std::string label, bool allowOverlap,
               bool skipBadRecords = false, const PrecisionChoice& precision = {},
               int threads = 0);
    // As above, but the records of a shapefile are left to ReadRecords: the file is checked,
    // its companions read and the precision chosen. Other sources are read at once.
    struct RecordsLater
    {
    };
    InputLayer(RecordsLater, const std::string& path, std::string label, bool allowOverlap,
               bool skipBadRecords, const PrecisionChoice& precision, int threads);

    // Reads the records that the RecordsLater constructor left; nothing when none wait.
    void ReadRecords();

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
    const Arealis::Precision& Precision() const { return m_topology->GetPrecision(); }
    // Whether the input is geographic and took a default scaled to degrees.
    bool TookDegreeDefaults() const { return m_degreeDefaults; }

    // Replaces the layer by a copy transformed to another reference system, records kept.
    void Reproject(const Formats::CoordinateSystem& target);

    // Gives up the topology without freeing it, for a process about to end (Layer() stays
    // usable).
    void LeaveToExit() noexcept { static_cast<void>(m_topology.release()); }

private:
    void Remember(Arealis::Polygon* pPolygon, std::int64_t record);

    std::string m_path;
    std::string m_label;
    TopologyPtr m_topology;
    Arealis::PolygonLayer* m_layer = nullptr;
    Arealis::PolygonTable<std::int64_t> m_records; // the record of each polygon
    std::vector<std::string> m_warnings;
    Arealis::ShapefileReadResult m_readResult;
    Formats::SourceDescription m_description;
    bool m_degreeDefaults = false;
    bool m_skipBadRecords = false;
    bool m_recordsPending = false;
};

// Reads the records both layers left to ReadRecords, at the same time on two threads unless
// one thread is asked for (threads: as for InputLayer): the layers share nothing. A failure
// of A's is thrown before one of B's, as reading them in turn would meet it first.
void ReadRecordsOfBoth(InputLayer& a, InputLayer& b, int threads);

} // namespace ArealisCli

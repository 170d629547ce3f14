#pragma once

#include "Canvas.h"
#include "Colour.h"
#include "Formats/Attributes.h"
#include "Formats/CoordinateSystem.h"
#include "Formats/ResultColumns.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>
#include <utility>

namespace Arealis
{
class Polygon;
class PolygonLayer;
class Topology;
} // namespace Arealis

namespace Orvista
{

// An input of a layer operation as its result remembers it: the layer's name and attribute
// table, which stay with the result also when the input layer is deleted.
struct LayerInput
{
    std::string Name;
    std::shared_ptr<const Formats::AttributeTable> Attributes;
};

// How a result layer was made: the column rule of its operation, its inputs (A, then B) and
// each result polygon's parents as records of the inputs. The links are kept here rather than
// in the library's parent collections, so that the inputs stay free to edit and delete.
struct LayerDerivation
{
    Formats::CarriedColumns Carried = Formats::CarriedColumns::None;
    std::vector<LayerInput> Inputs;
    std::unordered_map<const Arealis::Polygon*, std::vector<Formats::ParentRecord>> Parents;
};

// The program's record of one layer: a topology of its own with one polygon layer of it, the
// name shown in the layer tree, the colours, and the layer's cached picture (the layer drawn
// alone on white, window-sized) with the flags that say when it must be drawn again.
class DisplayLayer
{
public:
    // A layer with a new topology, a new polygon layer that allows overlap and the next
    // colours of the layer palette.
    explicit DisplayLayer(std::string name);
    // Deletes the topology unless DeleteTopology already did.
    ~DisplayLayer();

    DisplayLayer(const DisplayLayer&) = delete;
    DisplayLayer& operator=(const DisplayLayer&) = delete;

    const std::string& Name() const { return m_name; }
    // The file (or "file.gpkg:table" source) the layer was read from; empty for a layer made
    // in the program.
    const std::string& SourcePath() const { return m_sourcePath; }
    void SetSourcePath(std::string path) { m_sourcePath = std::move(path); }
    Arealis::Topology* GetTopology() const { return m_pTopology; }
    Arealis::PolygonLayer* GetPolygonLayer() const { return m_pPolygonLayer; }
    // Shows another layer of the same topology, such as the result of a layer operation.
    void SetPolygonLayer(Arealis::PolygonLayer* pLayer) { m_pPolygonLayer = pLayer; }

    // Takes the topology, polygons, records, attributes and reference system of other, which
    // gets this layer's in exchange; name, colours, visibility and source stay. The picture
    // is drawn again.
    void SwapContents(DisplayLayer& other) noexcept;

    // Deletes the topology with its layers now. Throws what Topology::Delete throws (a
    // topology whose polygons are parents elsewhere), and then still owns the topology.
    void DeleteTopology();

    Colour OutlineColour() const { return m_outline; }
    Colour FillColour() const { return m_fill; }
    void SetFillColour(Colour colour) { m_fill = colour; }

    IBitmap* Picture() const { return m_picture.get(); }
    void SetPicture(std::unique_ptr<IBitmap> picture) { m_picture = std::move(picture); }

    // The 0-based position in the layer's file of the record a polygon was read from; none
    // for a polygon made in the program.
    void SetRecord(const Arealis::Polygon* pPolygon, std::int64_t record)
    {
        m_records[pPolygon] = record;
    }
    // Also forgets the polygon's parents in a result layer, so that a polygon made later at the
    // same address does not show them.
    void ForgetRecord(const Arealis::Polygon* pPolygon)
    {
        m_records.erase(pPolygon);
        if (m_derivation)
        {
            m_derivation->Parents.erase(pPolygon);
        }
    }
    std::optional<std::int64_t> RecordOf(const Arealis::Polygon* pPolygon) const
    {
        const auto found = m_records.find(pPolygon);
        return found != m_records.end() ? std::optional(found->second) : std::nullopt;
    }

    // The attribute table of the layer's file, one row per record (no columns for a layer made
    // in the program), and the file's reference system.
    const Formats::AttributeTable& Attributes() const { return *m_attributes; }
    const std::shared_ptr<const Formats::AttributeTable>& SharedAttributes() const
    {
        return m_attributes;
    }
    void SetAttributes(Formats::AttributeTable attributes)
    {
        m_attributes = std::make_shared<const Formats::AttributeTable>(std::move(attributes));
    }
    const Formats::CoordinateSystem& System() const { return m_system; }
    void SetSystem(Formats::CoordinateSystem system) { m_system = std::move(system); }
    // For the result of a layer operation, how it was made; null for other layers.
    const LayerDerivation* Derivation() const { return m_derivation.get(); }
    void SetDerivation(LayerDerivation derivation)
    {
        m_derivation = std::make_unique<LayerDerivation>(std::move(derivation));
    }

    // The picture must be drawn again.
    bool Dirty = true;
    // The picture is up to date.
    bool Rendered = false;
    // The picture may be composed into the view.
    bool HasPicture = false;
    // The picture is a coarse one, drawn right after the view moved; it is drawn fully once
    // the view rests.
    bool Draft = false;
    // Checked in the layer tree: composed into the view and searched by the controllers.
    bool Visible = true;

private:
    std::string m_name;
    std::string m_sourcePath;
    Arealis::Topology* m_pTopology;
    Arealis::PolygonLayer* m_pPolygonLayer;
    Colour m_outline;
    Colour m_fill;
    std::unique_ptr<IBitmap> m_picture;
    std::unordered_map<const Arealis::Polygon*, std::int64_t> m_records;
    std::shared_ptr<const Formats::AttributeTable> m_attributes =
        std::make_shared<const Formats::AttributeTable>();
    Formats::CoordinateSystem m_system;
    std::unique_ptr<LayerDerivation> m_derivation;
};

// The name with every ".shp" taken out, the stem of the names of derived layers
// ("/d/a.shp" gives "/d/a").
std::string WithoutShpExtension(std::string name);

} // namespace Orvista

#pragma once

#include "Exceptions/Exception.h"
#include "Shapefile/Reporter.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Arealis
{

class Polygon;
class PolygonLayer;

// A file that cannot be read as a shapefile main file. The message names the file, the record
// and the byte offset where reading stopped, and what was wrong there.
class ShapefileFormatException : public Exceptions::Exception
{
public:
    ShapefileFormatException(const std::string& message, std::string location);
};

// The reader takes any file for a main file; callers that open files by name check first.
// Throws ShapefileFormatException naming the file when it is plainly something else: an index
// file (.shx) or an attribute table (.dbf) by its name, or any file whose first four bytes are
// not the main file's code 9994. A file that cannot be opened or is too short passes; the
// reader reports it.
void CheckMainFile(const std::string& path);

// Whether the file starts with the main file's code 9994, whatever its name.
bool HasMainFileCode(const std::string& path);

// Reads the polygon records of a shapefile main file (.shp) into the layer, one polygon per
// record and one ring per part, then commits the layer.
//
// Commit failures (invalid or overlapping polygons) are shown with ShowMessage and the read
// ends normally; the layer keeps every polygon. Any other error (a file that cannot be opened,
// a malformed record, a library error) is shown with ShowError: on OK it is rethrown to the
// caller, on Cancel the read ends normally. Polygons read before the error stay in the layer,
// uncommitted; a malformed record never contributes a polygon or a node.
//
// With a second core, a file of 1 MB or more is read and checked on a second thread while the
// calling thread makes the polygons; the layer, the reporter and the callback below are only
// used on the calling thread, and the thread has ended when the call returns.
void ReadShapefile(PolygonLayer& layer, const std::string& path, IReporter& reporter);

// Called for every polygon the reader creates, with the 0-based position of its record in the
// file (null and skipped records count too), so callers can refer back to the file's records.
using PolygonRecordCallback = std::function<void(Polygon* pPolygon, std::int64_t recordIndex)>;

void ReadShapefile(PolygonLayer& layer, const std::string& path, IReporter& reporter,
                   const PolygonRecordCallback& onPolygon);

struct ShapefileReadOptions
{
    PolygonRecordCallback OnPolygon;
    // Leaves each malformed record out, noting it in the result, instead of ending the read.
    // A record whose length does not fit in the file still ends it: no later record can be
    // found.
    bool SkipBadRecords = false;
};

// What a read left out besides the polygons it made.
struct ShapefileReadResult
{
    // Records without the polygon layout (null shapes, points, multipoints, multipatches),
    // counted by shape type. The reader also reports them once with ShowMessage.
    std::map<std::int32_t, std::int64_t> SkippedByShapeType;
    // With SkipBadRecords: what was wrong with each malformed record left out, naming the
    // file, the record and its byte offset, in file order.
    std::vector<std::string> BadRecords;

    std::int64_t SkippedCount() const;
};

// "N records that are not polygons were skipped: 2 of shape type 1 (point), ...", or an
// empty text when none was.
std::string DescribeSkippedRecords(const std::map<std::int32_t, std::int64_t>& byShapeType);

ShapefileReadResult ReadShapefile(PolygonLayer& layer, const std::string& path, IReporter& reporter,
                                  const ShapefileReadOptions& options);

} // namespace Arealis

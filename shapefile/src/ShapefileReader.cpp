#include "Shapefile/ShapefileReader.h"

#include "Arealis/GeometryExceptions.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/SortedPointRun.h"
#include "Arealis/Topology.h"
#include "ByteOrder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace Arealis
{

ShapefileFormatException::ShapefileFormatException(const std::string& message, std::string location)
    : Exceptions::Exception(message, std::move(location))
{
}

namespace
{

constexpr const char* ReaderUnit = "shp";
constexpr int ReaderLine = 1623;
constexpr std::int64_t HeaderSize = 100;
constexpr std::int64_t FileLengthOffset = 24;
constexpr std::int64_t RecordHeaderSize = 8;
constexpr std::int64_t PolygonFixedSize = 44; // shape type, box, NumParts, NumPoints
constexpr std::int64_t PointSize = 16;
// Bytes read from the file at a time: records are taken from memory instead of a seek and a
// read each, while a file of any size costs at most this much besides its largest record. A
// window this small is still in the processor's cache when its records are parsed.
constexpr std::int64_t WindowSize = std::int64_t{1} << 20;

// Shape types whose records start with the layout of a polygon record (polylines and
// polygons, plain, with Z and with M); their X and Y points load, the rest is skipped.
bool HasPolygonLayout(std::int32_t shapeType)
{
    switch (shapeType)
    {
    case 3:
    case 5:
    case 13:
    case 15:
    case 23:
    case 25:
        return true;
    default:
        return false;
    }
}

std::string ReaderLocation()
{
    return Exceptions::MakeLocation(ReaderUnit, ReaderLine);
}

// The main file, read through a window of up to WindowSize bytes with its size known up
// front, so that every length found in the file can be checked against what is really there
// before it is used.
class MainFile
{
public:
    explicit MainFile(std::string path) : m_path(std::move(path))
    {
        m_stream.open(m_path, std::ios::binary);
        if (!m_stream.is_open())
        {
            Fail("cannot open the file for reading");
        }
        m_stream.seekg(0, std::ios::end);
        m_size = static_cast<std::int64_t>(m_stream.tellg());
        if (m_size < 0)
        {
            Fail("cannot determine the size of the file");
        }
    }

    std::int64_t Size() const { return m_size; }
    const std::string& Path() const { return m_path; }

    // The length bytes from offset (which the caller has checked against Size), valid until
    // the next call.
    const unsigned char* BytesAt(std::int64_t offset, std::int64_t length)
    {
        if (offset < m_windowStart || offset + length > m_windowStart + m_windowLength)
        {
            Load(offset, length);
        }
        return m_window.get() + (offset - m_windowStart);
    }

    [[noreturn]] void Fail(const std::string& what) const
    {
        throw ShapefileFormatException(m_path + ": " + what, ReaderLocation());
    }

    [[noreturn]] void FailRecord(std::int64_t recordNumber, std::int64_t offset,
                                 const std::string& what) const
    {
        Fail("record " + std::to_string(recordNumber) + " at byte " + std::to_string(offset) +
             ": " + what);
    }

private:
    // Fills the window from offset with at least length bytes. When a full window cannot be
    // read (a file that is shorter than its size said), exactly the bytes asked for are read,
    // so that an error names the place where the needed bytes were missing.
    void Load(std::int64_t offset, std::int64_t length)
    {
        const std::int64_t wanted = std::max(length, std::min(WindowSize, m_size - offset));
        if (wanted > length && TryRead(offset, wanted))
        {
            return;
        }
        if (!TryRead(offset, length))
        {
            Fail("read error at byte " + std::to_string(offset));
        }
    }

    bool TryRead(std::int64_t offset, std::int64_t length)
    {
        m_windowStart = 0;
        m_windowLength = 0;
        if (length > m_capacity)
        {
            m_window.reset();
            m_window =
                std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(length));
            m_capacity = length;
        }
        m_stream.clear();
        m_stream.seekg(offset);
        m_stream.read(reinterpret_cast<char*>(m_window.get()),
                      static_cast<std::streamsize>(length));
        if (!m_stream)
        {
            return false;
        }
        m_windowStart = offset;
        m_windowLength = length;
        return true;
    }

    std::string m_path;
    std::ifstream m_stream;
    std::int64_t m_size = 0;
    // Bytes m_windowStart .. m_windowStart + m_windowLength of the file, in a buffer of
    // m_capacity bytes that grows for a record larger than a window and never shrinks.
    std::unique_ptr<unsigned char[]> m_window;
    std::int64_t m_capacity = 0;
    std::int64_t m_windowStart = 0;
    std::int64_t m_windowLength = 0;
};

// One polygon record, checked completely before any polygon or node is made from it.
struct PolygonRecord
{
    std::vector<std::int32_t> PartStarts;
    std::int32_t PointCount = 0;
    const unsigned char* Points = nullptr;

    Point PointAt(std::int32_t index) const
    {
        const unsigned char* bytes = Points + PointSize * index;
        return {ByteOrder::LittleEndianDouble(bytes), ByteOrder::LittleEndianDouble(bytes + 8)};
    }

    std::int32_t PartEnd(std::size_t part) const
    {
        return part + 1 < PartStarts.size() ? PartStarts[part + 1] : PointCount;
    }
};

// Fills record, whose part list is reused from record to record.
void ParsePolygonRecord(const MainFile& file, std::int64_t recordNumber, std::int64_t offset,
                        const unsigned char* content, std::int64_t contentSize,
                        PolygonRecord& record)
{
    if (contentSize < PolygonFixedSize)
    {
        file.FailRecord(recordNumber, offset,
                        "the record holds " + std::to_string(contentSize) +
                            " bytes, too few for a polygon record");
    }
    const std::int32_t partCount = ByteOrder::LittleEndianInt32(content + 36);
    const std::int32_t pointCount = ByteOrder::LittleEndianInt32(content + 40);
    if (partCount < 0 || pointCount < 0)
    {
        file.FailRecord(recordNumber, offset,
                        "negative count (NumParts " + std::to_string(partCount) + ", NumPoints " +
                            std::to_string(pointCount) + ")");
    }
    const std::int64_t needed =
        PolygonFixedSize + 4 * std::int64_t{partCount} + PointSize * std::int64_t{pointCount};
    if (needed > contentSize)
    {
        file.FailRecord(recordNumber, offset,
                        "NumParts " + std::to_string(partCount) + " and NumPoints " +
                            std::to_string(pointCount) + " need " + std::to_string(needed) +
                            " bytes, but the record holds " + std::to_string(contentSize));
    }

    record.PartStarts.clear();
    record.PointCount = pointCount;
    record.Points = content + PolygonFixedSize + 4 * std::int64_t{partCount};
    record.PartStarts.reserve(static_cast<std::size_t>(partCount));
    std::int32_t previous = 0;
    for (std::int32_t i = 0; i < partCount; ++i)
    {
        const std::int32_t start =
            ByteOrder::LittleEndianInt32(content + PolygonFixedSize + 4 * std::int64_t{i});
        if (i == 0 && start != 0)
        {
            // The points before it would belong to no part.
            file.FailRecord(recordNumber, offset,
                            "part 0 starts at point " + std::to_string(start) + ", not at point 0");
        }
        if (start < previous || start > pointCount)
        {
            file.FailRecord(recordNumber, offset,
                            "part " + std::to_string(i) + " starts at point " +
                                std::to_string(start) + ", outside " + std::to_string(previous) +
                                ".." + std::to_string(pointCount));
        }
        record.PartStarts.push_back(start);
        previous = start;
    }
    for (std::int32_t i = 0; i < pointCount; ++i)
    {
        const Point p = record.PointAt(i);
        if (!std::isfinite(p.X) || !std::isfinite(p.Y))
        {
            file.FailRecord(recordNumber, offset,
                            "point " + std::to_string(i) +
                                " has a coordinate that is not a "
                                "finite number");
        }
    }
}

enum class StepKind
{
    Polygon, // a new polygon
    Ring,    // a new ring of the polygon, with room for Value nodes
    Nodes,   // the next Value points' nodes go to the ring
    Done     // the polygon of record Value is complete
};

struct Step
{
    StepKind Kind;
    std::int64_t Value;
};

// The points of consecutive records and the steps that make their polygons from the points'
// nodes: one batch, gathered while reading and made into polygons in one go.
struct BatchContent
{
    std::vector<Step> Steps;
    std::vector<Point> Points;
    // The points sorted for the node lookup, when the reading side had time for that.
    SortedPointRun Run;
    bool IsSorted = false;

    bool IsEmpty() const noexcept { return Steps.empty(); }
    void Clear() noexcept
    {
        Steps.clear();
        Points.clear();
        Run.Clear();
        IsSorted = false;
    }
};

// Gathers records into batches of up to MaxPoints points (a longer ring is spread over several
// batches) and hands each full batch to the sink, which makes it and leaves the content empty.
class RecordGatherer
{
public:
    using Sink = std::function<void(BatchContent&)>;

    explicit RecordGatherer(Sink sink) : m_sink(std::move(sink)) {}

    // One ring per part; the last point of a part repeats its first and is dropped, since
    // rings close implicitly.
    void Add(const PolygonRecord& record, std::int64_t recordIndex)
    {
        std::vector<Step>& steps = m_content.Steps;
        std::vector<Point>& points = m_content.Points;
        steps.push_back(Step{StepKind::Polygon, 0});
        for (std::size_t part = 0; part < record.PartStarts.size(); ++part)
        {
            const std::int32_t end = record.PartEnd(part) - 1;
            const std::int32_t start = record.PartStarts[part];
            steps.push_back(Step{StepKind::Ring, std::max(0, end - start)});
            for (std::int32_t first = start; first < end;)
            {
                if (points.size() == MaxPoints)
                {
                    HandOver();
                }
                const auto room = static_cast<std::int32_t>(MaxPoints - points.size());
                const std::int32_t count = std::min(room, end - first);
                for (std::int32_t k = 0; k < count; ++k)
                {
                    points.push_back(record.PointAt(first + k));
                }
                steps.push_back(Step{StepKind::Nodes, count});
                first += count;
            }
        }
        steps.push_back(Step{StepKind::Done, recordIndex});
        if (points.size() == MaxPoints || steps.size() >= MaxSteps)
        {
            HandOver();
        }
    }

    // Hands the records gathered so far to the sink.
    void HandOver()
    {
        if (!m_content.IsEmpty())
        {
            m_sink(m_content);
        }
    }

private:
    static constexpr std::size_t MaxPoints = std::size_t{1} << 14;
    static constexpr std::size_t MaxSteps = std::size_t{1} << 16;

    Sink m_sink;
    BatchContent m_content;
};

// Makes the polygons of batches: the nodes of all a batch's points are looked up in one run,
// which the node set walks in the index's order instead of searching the index point by point,
// and then the polygons and rings are made from those nodes in record order. Nodes looked up
// but not yet handed to a ring are released when the batch is done with.
class PolygonMaker
{
public:
    PolygonMaker(PolygonLayer& layer, const PolygonRecordCallback& onPolygon)
        : m_layer(layer), m_nodeSet(layer.GetTopology()->GetNodeSet()), m_onPolygon(onPolygon)
    {
    }
    ~PolygonMaker() { ReleaseUnused(); }
    PolygonMaker(const PolygonMaker&) = delete;
    PolygonMaker& operator=(const PolygonMaker&) = delete;

    // The grid step of the node set that takes the polygons.
    double GridStep() const noexcept { return m_nodeSet.GetGridStep(); }

    // Makes the polygons of a batch and empties it, also when that fails.
    void Make(BatchContent& content)
    {
        try
        {
            m_found.resize(content.Points.size());
            if (content.IsSorted)
            {
                m_nodeSet.GetNodes(content.Run, m_found);
            }
            else
            {
                m_nodeSet.GetNodes(content.Points, m_found);
            }
            m_unused = m_found.size();
            std::size_t next = 0;
            for (const Step& step : content.Steps)
            {
                next = Perform(step, next);
            }
        }
        catch (...)
        {
            ReleaseUnused();
            content.Clear();
            throw;
        }
        ReleaseUnused();
        content.Clear();
    }

private:
    // Performs a step whose nodes, if any, start at next in m_found; returns where the next
    // step's nodes start.
    std::size_t Perform(const Step& step, std::size_t next)
    {
        switch (step.Kind)
        {
        case StepKind::Polygon:
            m_polygon = m_layer.CreatePolygon();
            break;
        case StepKind::Ring:
            m_ring = m_polygon->CreateRing();
            m_ring->ReserveNodes(static_cast<std::int32_t>(step.Value));
            break;
        case StepKind::Nodes:
        {
            const auto count = static_cast<std::size_t>(step.Value);
            m_ring->TakeNodes(std::span<Node* const>(m_found).subspan(next, count));
            next += count;
            m_unused = m_found.size() - next;
            break;
        }
        case StepKind::Done:
            if (m_onPolygon)
            {
                m_onPolygon(m_polygon, step.Value);
            }
            break;
        }
        return next;
    }

    // Releases the looked-up nodes that no ring took: the last m_unused of m_found.
    void ReleaseUnused() noexcept
    {
        for (std::size_t i = m_found.size() - m_unused; i < m_found.size(); ++i)
        {
            m_nodeSet.ReleaseNode(m_found[i]);
        }
        m_unused = 0;
        m_found.clear();
    }

    PolygonLayer& m_layer;
    NodeSet& m_nodeSet;
    const PolygonRecordCallback& m_onPolygon;
    std::vector<Node*> m_found;
    std::size_t m_unused = 0;
    // The polygon and ring being made: a ring spread over batches goes on in the next one.
    Polygon* m_polygon = nullptr;
    Ring* m_ring = nullptr;
};

// Sorts a batch's points for the node lookup, which the making side then does in the index's
// order without sorting them itself. A short batch is left to the node set, which looks a
// few points up in turn.
void SortForLookup(BatchContent& content, double gridStep)
{
    if (content.Points.size() >= SortedPointRun::WorthwhileLength)
    {
        content.IsSorted = content.Run.Prepare(content.Points, gridStep);
    }
}

// Thrown on the reading thread when the making side gave up, to end the reading early.
struct ReadingStopped
{
};

// Passes batches from a reading thread to the thread that makes them, one at a time: the
// reader waits while the batch it handed over has not been taken. Contents are swapped, so
// both sides keep reusing the room of the same few vectors.
class BatchHandoff
{
public:
    // Reading side: hands content over and gets an empty one back.
    void Put(BatchContent& content)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_full || m_stopped; });
        if (m_stopped)
        {
            throw ReadingStopped{};
        }
        std::swap(m_slot, content);
        m_full = true;
        m_changed.notify_all();
    }

    // Reading side: no more batches; error is what ended the reading, if anything did.
    void Close(std::exception_ptr error)
    {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
        m_error = std::move(error);
        m_changed.notify_all();
    }

    // Making side: swaps the next batch into content, which must be empty; false once the
    // reading side closed and every batch was taken.
    bool Take(BatchContent& content)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_full || m_closed; });
        if (!m_full)
        {
            return false;
        }
        std::swap(m_slot, content);
        m_full = false;
        m_changed.notify_all();
        return true;
    }

    // Making side: tells the reading side to stop.
    void Stop()
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_changed.notify_all();
    }

    // Making side, once the reading thread has ended: the error that ended the reading.
    std::exception_ptr Error() const { return m_error; }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    BatchContent m_slot;
    bool m_full = false;
    bool m_closed = false;
    bool m_stopped = false;
    std::exception_ptr m_error;
};

using ReadSummary = ShapefileReadResult;

// Reads the records from the first on into the gatherer; the caller hands the last batch over.
// record is room for parsing, reused from record to record. With skipBad, a malformed record
// is noted in the summary and the read goes on with the next record, as long as there is a
// way to find it.
void ReadRecordsInto(MainFile& file, std::int64_t declaredEnd, PolygonRecord& record,
                     RecordGatherer& gatherer, ReadSummary& summary, bool skipBad)
{
    std::int64_t recordNumber = 0;
    for (std::int64_t offset = HeaderSize; offset < file.Size() && offset < declaredEnd;)
    {
        ++recordNumber;
        std::int64_t next = -1;
        try
        {
            if (offset + RecordHeaderSize > file.Size())
            {
                file.FailRecord(recordNumber, offset,
                                "the record header is cut off by the end of "
                                "the file");
            }
            const unsigned char* recordHeader = file.BytesAt(offset, RecordHeaderSize);
            const std::int32_t contentWords = ByteOrder::BigEndianInt32(recordHeader + 4);
            const std::int64_t contentSize = 2 * std::int64_t{contentWords};
            const std::int64_t end = offset + RecordHeaderSize + contentSize;
            if (contentWords < 0 || end > file.Size())
            {
                file.FailRecord(recordNumber, offset,
                                "content length " + std::to_string(contentWords) +
                                    " words does not fit in the file (" +
                                    std::to_string(file.Size()) + " bytes)");
            }
            next = end;
            const unsigned char* content = file.BytesAt(offset + RecordHeaderSize, contentSize);

            const std::int32_t shapeType =
                contentSize >= 4 ? ByteOrder::LittleEndianInt32(content) : 0;
            if (HasPolygonLayout(shapeType))
            {
                ParsePolygonRecord(file, recordNumber, offset, content, contentSize, record);
                gatherer.Add(record, recordNumber - 1);
            }
            else
            {
                ++summary.SkippedByShapeType[shapeType];
            }
        }
        catch (const ShapefileFormatException& e)
        {
            if (!skipBad)
            {
                throw;
            }
            summary.BadRecords.emplace_back(e.Message());
            if (next < 0)
            {
                break;
            }
        }
        offset = next;
    }
}

// Reads every record into a gatherer that hands its batches to sink, and hands over the last
// batch also when the reading failed: the records before a malformed one keep their polygons,
// as if each had been made at once. Returns the first error, which is the one reported.
std::exception_ptr GatherRecords(MainFile& file, std::int64_t declaredEnd,
                                 RecordGatherer::Sink sink, ReadSummary& summary,
                                 bool skipBad) noexcept
{
    std::exception_ptr error;
    try
    {
        PolygonRecord record;
        RecordGatherer gatherer(std::move(sink));
        try
        {
            ReadRecordsInto(file, declaredEnd, record, gatherer, summary, skipBad);
        }
        catch (...)
        {
            error = std::current_exception();
        }
        gatherer.HandOver();
    }
    catch (...)
    {
        if (!error)
        {
            error = std::current_exception();
        }
    }
    return error;
}

// Reads every record and makes its polygons on the calling thread.
ReadSummary ReadRecordsInTurn(MainFile& file, std::int64_t declaredEnd, PolygonMaker& maker,
                              bool skipBad)
{
    ReadSummary summary;
    // Sorted here rather than by the node set: the batch's run keeps its room from batch to
    // batch, where the node set gives back the room of a run as long as a full batch after
    // each lookup, and fresh memory costs more than the sorting.
    const std::exception_ptr error = GatherRecords(
        file, declaredEnd,
        [&maker](BatchContent& content)
        {
            SortForLookup(content, maker.GridStep());
            maker.Make(content);
        },
        summary, skipBad);
    if (error)
    {
        std::rethrow_exception(error);
    }
    return summary;
}

// Reads the records on a second thread while the calling thread makes the polygons of the
// batches read so far: the same batches, made in the same order, as ReadRecordsInTurn makes.
// A malformed record ends the reading after the batch of the records before it, and its error
// is thrown once that batch is made; when making fails, the reading stops at its next batch.
ReadSummary ReadRecordsAhead(MainFile& file, std::int64_t declaredEnd, PolygonMaker& maker,
                             bool skipBad)
{
    BatchHandoff handoff;
    ReadSummary summary;
    std::thread reader;
    try
    {
        reader = std::thread(
            [&file, declaredEnd, &handoff, &summary, skipBad, gridStep = maker.GridStep()]
            {
                handoff.Close(GatherRecords(
                    file, declaredEnd,
                    [&handoff, gridStep](BatchContent& content)
                    {
                        SortForLookup(content, gridStep);
                        handoff.Put(content);
                    },
                    summary, skipBad));
            });
    }
    catch (const std::system_error&)
    {
        return ReadRecordsInTurn(file, declaredEnd, maker, skipBad); // no thread to be had
    }
    try
    {
        BatchContent content;
        while (handoff.Take(content))
        {
            maker.Make(content);
        }
    }
    catch (...)
    {
        handoff.Stop();
        reader.join();
        throw;
    }
    reader.join();
    if (handoff.Error())
    {
        std::rethrow_exception(handoff.Error());
    }
    return summary;
}

// Whether to read on a second thread: for files of several batches, when a second core can
// make polygons meanwhile and the layer's topology is not held to one thread.
bool ReadsAhead(const MainFile& file, const PolygonLayer& layer)
{
    constexpr std::int64_t ReadAheadBytes = std::int64_t{1} << 20;
    const Topology* topology = layer.GetTopology();
    const bool oneThread = topology != nullptr && topology->GetLayerThreads() == 1;
    return file.Size() >= ReadAheadBytes && !oneThread && std::thread::hardware_concurrency() >= 2;
}

ReadSummary ReadRecords(PolygonLayer& layer, const std::string& path,
                        const PolygonRecordCallback& onPolygon, bool skipBad)
{
    MainFile file(path);
    if (file.Size() < HeaderSize)
    {
        file.Fail("the file has " + std::to_string(file.Size()) +
                  " bytes, too few for the 100-byte shapefile header");
    }
    const unsigned char* header = file.BytesAt(0, HeaderSize);
    const std::int64_t declaredEnd =
        2 * std::int64_t{ByteOrder::BigEndianInt32(header + FileLengthOffset)};

    PolygonMaker maker(layer, onPolygon);
    return ReadsAhead(file, layer) ? ReadRecordsAhead(file, declaredEnd, maker, skipBad)
                                   : ReadRecordsInTurn(file, declaredEnd, maker, skipBad);
}

void CommitLayer(PolygonLayer& layer, IReporter& reporter)
{
    try
    {
        layer.Commit();
    }
    catch (const InvalidPolygonException& e)
    {
        reporter.ShowMessage(e.Message(), "");
    }
    catch (const PolygonsOverlapException& e)
    {
        reporter.ShowMessage(e.Message(), "");
    }
}

constexpr std::int32_t MainFileCode = 9994;

// The big-endian number in a file's first four bytes; nothing for a file that cannot be opened
// or is shorter.
std::optional<std::int32_t> FileCodeOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::array<unsigned char, 4> bytes{};
    if (!in.read(reinterpret_cast<char*>(bytes.data()), bytes.size()))
    {
        return std::nullopt;
    }
    return ByteOrder::BigEndianInt32(bytes.data());
}

std::string ErrorText(const char* message)
{
    return std::string(message) + "\r\nAt:\r\n    " + ReaderLocation();
}

} // namespace

void CheckMainFile(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".shx" || extension == ".dbf")
    {
        throw ShapefileFormatException(
            path + ": " + (extension == ".shx" ? "an index file" : "an attribute table") + " (" +
                extension + "), not a shapefile main file (.shp)",
            ReaderLocation());
    }
    const std::optional<std::int32_t> code = FileCodeOf(path);
    if (code && *code != MainFileCode)
    {
        throw ShapefileFormatException(path + ": not a shapefile main file (file code " +
                                           std::to_string(*code) + ", expected 9994)",
                                       ReaderLocation());
    }
}

bool HasMainFileCode(const std::string& path)
{
    return FileCodeOf(path) == MainFileCode;
}

std::int64_t ShapefileReadResult::SkippedCount() const
{
    std::int64_t count = 0;
    for (const auto& [type, records] : SkippedByShapeType)
    {
        count += records;
    }
    return count;
}

std::string DescribeSkippedRecords(const std::map<std::int32_t, std::int64_t>& byShapeType)
{
    static const std::map<std::int32_t, const char*> names{
        {0, "null"},          {1, "point"},    {8, "multipoint"},    {11, "point Z"},
        {18, "multipoint Z"}, {21, "point M"}, {28, "multipoint M"}, {31, "multipatch"}};
    std::int64_t total = 0;
    std::string kinds;
    for (const auto& [type, count] : byShapeType)
    {
        total += count;
        const auto name = names.find(type);
        kinds += (kinds.empty() ? "" : ", ") + std::to_string(count) + " of shape type " +
                 std::to_string(type) +
                 (name != names.end() ? std::string(" (") + name->second + ")" : std::string());
    }
    if (total == 0)
    {
        return {};
    }
    return std::to_string(total) +
           (total == 1 ? " record that is not a polygon was"
                       : " records that are not polygons were") +
           " skipped: " + kinds + ".";
}

void ReadShapefile(PolygonLayer& layer, const std::string& path, IReporter& reporter)
{
    ReadShapefile(layer, path, reporter, ShapefileReadOptions{});
}

void ReadShapefile(PolygonLayer& layer, const std::string& path, IReporter& reporter,
                   const PolygonRecordCallback& onPolygon)
{
    ReadShapefile(layer, path, reporter, ShapefileReadOptions{onPolygon, false});
}

ShapefileReadResult ReadShapefile(PolygonLayer& layer, const std::string& path, IReporter& reporter,
                                  const ShapefileReadOptions& options)
{
    ShapefileReadResult result;
    try
    {
        result = ReadRecords(layer, path, options.OnPolygon, options.SkipBadRecords);
        const std::string skipped = DescribeSkippedRecords(result.SkippedByShapeType);
        if (!skipped.empty())
        {
            reporter.ShowMessage(path + ": " + skipped, "");
        }
        CommitLayer(layer, reporter);
        if (Topology* topology = layer.GetTopology())
        {
            topology->GetNodeSet().ReleaseUnusedRoom(); // few nodes are made after the load
        }
    }
    // The library's exceptions first: its argument exceptions have two standard bases, which
    // a handler for std::exception would not catch.
    catch (const Exceptions::Exception& e)
    {
        if (reporter.ShowError(ErrorText(e.Message())))
        {
            throw;
        }
    }
    catch (const std::exception& e)
    {
        if (reporter.ShowError(ErrorText(e.what())))
        {
            throw;
        }
    }
    catch (...)
    {
        if (reporter.ShowError(ErrorText("Unknown error.")))
        {
            throw;
        }
    }
    return result;
}

} // namespace Arealis

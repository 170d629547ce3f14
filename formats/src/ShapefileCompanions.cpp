#include "Formats/FormatError.h"
#include "Formats/VectorSource.h"
#include "GdalSession.h"
#include "OgrFeatures.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iconv.h>

namespace Formats
{

namespace fs = std::filesystem;

namespace
{

// A companion file beside the main file, in either case of extension.
fs::path Companion(const fs::path& main, const std::string& extension)
{
    for (const std::string& candidate :
         {extension, [&]
          {
              std::string upper = extension;
              std::transform(upper.begin(), upper.end(), upper.begin(),
                             [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
              return upper;
          }()})
    {
        fs::path path = main;
        path.replace_extension(candidate);
        if (fs::exists(path))
        {
            return path;
        }
    }
    return {};
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    {
        text.pop_back();
    }
    return text;
}

struct DbfHeader
{
    std::uint32_t Records = 0;
    std::uint16_t HeaderLength = 0;
    std::uint16_t RecordLength = 0;
};

// The .dbf header's counts, checked against the file's length: GDAL opens some broken tables
// without complaint and reads garbage from them.
DbfHeader ReadDbfHeader(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::array<unsigned char, 32> bytes{};
    if (!in.read(reinterpret_cast<char*>(bytes.data()), bytes.size()))
    {
        throw FormatError(path.string() + ": broken attribute table header (shorter than 32 "
                                          "bytes)");
    }
    DbfHeader header;
    header.Records = static_cast<std::uint32_t>(bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) |
                                                (static_cast<std::uint32_t>(bytes[7]) << 24));
    header.HeaderLength = static_cast<std::uint16_t>(bytes[8] | (bytes[9] << 8));
    header.RecordLength = static_cast<std::uint16_t>(bytes[10] | (bytes[11] << 8));
    const std::uintmax_t size = fs::file_size(path);
    if (header.HeaderLength < 33 || header.RecordLength < 1 || header.HeaderLength > size)
    {
        throw FormatError(path.string() + ": broken attribute table header (header length " +
                          std::to_string(header.HeaderLength) + ", record length " +
                          std::to_string(header.RecordLength) + ", file size " +
                          std::to_string(size) + ")");
    }
    const std::uintmax_t needed =
        header.HeaderLength + std::uintmax_t{header.Records} * header.RecordLength;
    if (size < needed)
    {
        throw FormatError(path.string() + ": the attribute table is cut short (" +
                          std::to_string(header.Records) + " records need " +
                          std::to_string(needed) + " bytes, the file has " + std::to_string(size) +
                          ")");
    }
    return header;
}

std::uint32_t BigEndian32(const unsigned char* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

// The number of records of the main file: from the index file's length when there is one,
// otherwise by stepping over the record headers.
std::int64_t CountShapeRecords(const fs::path& shp)
{
    const fs::path shx = Companion(shp, ".shx");
    if (!shx.empty())
    {
        const std::uintmax_t size = fs::file_size(shx);
        return size >= 100 ? static_cast<std::int64_t>((size - 100) / 8) : 0;
    }
    std::ifstream in(shp, std::ios::binary);
    const auto size = static_cast<std::int64_t>(fs::file_size(shp));
    std::int64_t offset = 100;
    std::int64_t count = 0;
    std::array<unsigned char, 8> header{};
    while (offset + 8 <= size && in.seekg(offset) &&
           in.read(reinterpret_cast<char*>(header.data()), header.size()))
    {
        offset += 8 + 2 * static_cast<std::int64_t>(BigEndian32(header.data() + 4));
        ++count;
    }
    return count;
}

bool ConverterExists(const std::string& encoding)
{
    const iconv_t converter = iconv_open("UTF-8", encoding.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
    {
        return false;
    }
    iconv_close(converter);
    return true;
}

} // namespace

bool IsShapefilePath(const std::string& source)
{
    std::string extension = fs::path(source).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".shp";
}

SourceDescription ReadShapefileCompanions(const std::string& shpPath)
{
    SourceDescription description;
    description.Name = shpPath;
    const fs::path main(shpPath);
    const fs::path prj = Companion(main, ".prj");
    if (!prj.empty())
    {
        try
        {
            description.System = CoordinateSystemFromText(ReadText(prj));
        }
        catch (const FormatError& e)
        {
            throw FormatError(prj.string() + ": " + e.what());
        }
    }
    const fs::path dbf = Companion(main, ".dbf");
    if (dbf.empty())
    {
        return description;
    }
    const DbfHeader header = ReadDbfHeader(dbf);
    const std::int64_t shapes = CountShapeRecords(main);
    if (header.Records != shapes)
    {
        throw FormatError(dbf.string() + ": " + std::to_string(header.Records) +
                          " attribute records, but " + main.string() + " has " +
                          std::to_string(shapes) + " records");
    }

    EnsureGdal();
    GdalErrors errors;
    const char* const drivers[] = {"ESRI Shapefile", nullptr};
    GDALDatasetUniquePtr dataset(GDALDataset::FromHandle(
        GDALOpenEx(dbf.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers, nullptr, nullptr)));
    if (!dataset || dataset->GetLayerCount() < 1)
    {
        throw FormatError(dbf.string() +
                          ": cannot read the attribute table: " + errors.Last("not a .dbf table"));
    }
    OGRLayer* layer = dataset->GetLayer(0);
    const char* encoding = layer->GetMetadataItem("SOURCE_ENCODING", "SHAPEFILE");
    const fs::path cpg = Companion(main, ".cpg");
    const std::string named = cpg.empty() ? std::string() : ReadText(cpg);
    if ((!named.empty() && (encoding == nullptr || *encoding == '\0')) ||
        (encoding != nullptr && *encoding != '\0' && !ConverterExists(encoding)))
    {
        throw FormatError((cpg.empty() ? dbf : cpg).string() + ": unknown code page '" +
                          (named.empty() ? std::string(encoding) : named) + "'");
    }
    description.Attributes = ReadAttributeRows(*layer, true);
    if (description.Attributes.Rows.size() != header.Records)
    {
        throw FormatError(dbf.string() + ": read " +
                          std::to_string(description.Attributes.Rows.size()) + " of " +
                          std::to_string(header.Records) +
                          " attribute records: " + errors.Last("the table ends early"));
    }
    return description;
}

} // namespace Formats

#include "CommandLine.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace ArealisCli;

namespace
{

std::string UsageErrorOf(const std::vector<std::string>& arguments)
{
    std::ostringstream help;
    try
    {
        ParseCommandLine(arguments, help);
    }
    catch (const UsageError& e)
    {
        return e.what();
    }
    return "accepted";
}

TEST(CommandLineTest, AcceptsTheDocumentedForms)
{
    std::ostringstream help;
    const auto options = ParseCommandLine(
        {"intersection", "--format", "wkt", "-o", "out.wkt", "--stats", "--threads", "3", "a.shp",
         "b.shp"},
        help);
    ASSERT_TRUE(options.has_value());
    EXPECT_EQ(options->Command, Operation::Intersection);
    EXPECT_EQ(options->Format, OutputFormat::Wkt);
    EXPECT_TRUE(options->FormatGiven);
    EXPECT_EQ(options->OutputPath, "out.wkt");
    EXPECT_TRUE(options->Stats);
    EXPECT_FALSE(options->Grid.has_value());
    EXPECT_EQ(options->Threads, 3);
    EXPECT_EQ(options->Inputs, (std::vector<std::string>{"a.shp", "b.shp"}));

    const auto unite =
        ParseCommandLine({"unite", "--grid", "1e-9", "--tolerance", "5e-9", "a.shp"}, help);
    ASSERT_TRUE(unite.has_value());
    EXPECT_EQ(unite->Grid, 1e-9);
    EXPECT_EQ(unite->Tolerance, 5e-9);
    EXPECT_EQ(unite->Format, OutputFormat::GeoJson);
    EXPECT_FALSE(unite->FormatGiven);
    EXPECT_EQ(unite->Threads, 0); // every usable core
}

TEST(CommandLineTest, HelpIsPrintedNotRun)
{
    std::ostringstream help;
    EXPECT_FALSE(ParseCommandLine({"--help"}, help).has_value());
    EXPECT_NE(help.str().find("usage: arealis OPERATION"), std::string::npos);
}

TEST(CommandLineTest, WrongArgumentsSayWhatIsWrong)
{
    EXPECT_NE(UsageErrorOf({}).find("missing OPERATION"), std::string::npos);
    EXPECT_NE(UsageErrorOf({"overlay", "a.shp"}).find("unknown operation 'overlay'"),
              std::string::npos);
    EXPECT_NE(UsageErrorOf({"join", "a.shp"}).find("'join' takes 2 inputs, got 1"),
              std::string::npos);
    EXPECT_NE(UsageErrorOf({"info", "a.shp", "b.shp"}).find("takes one input, got 2"),
              std::string::npos);
    EXPECT_NE(UsageErrorOf({"info", "--format", "xml", "a.shp"}).find("unknown format 'xml'"),
              std::string::npos);
    EXPECT_NE(UsageErrorOf({"info", "--verbose", "a.shp"}).find("'regression' only"),
              std::string::npos);
    EXPECT_NE(UsageErrorOf({"info", "--loud", "a.shp"}), "accepted");
    EXPECT_NE(UsageErrorOf({"join", "--threads", "0", "a.shp", "b.shp"}).find("at least 1, got 0"),
              std::string::npos);
    EXPECT_NE(UsageErrorOf({"join", "--threads", "many", "a.shp", "b.shp"}), "accepted");
    EXPECT_NE(UsageErrorOf({"union", "--strict", "a.shp", "b.shp"}).find("validate only"),
              std::string::npos);
    for (const char* value : {"0", "-1e-6", "nan", "inf", "1e-6x", ""})
    {
        EXPECT_NE(UsageErrorOf({"unite", "--grid", value, "a.shp"}).find("--grid"),
                  std::string::npos)
            << value;
    }
    EXPECT_NE(UsageErrorOf({"unite", "--grid", "1e-3", "--tolerance", "1e-4", "a.shp"})
                  .find("must be at least the grid step"),
              std::string::npos);
}

} // namespace

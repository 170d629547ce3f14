#include "Exceptions/ArgumentException.h"
#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"

#include <gtest/gtest.h>

#include <string>

using namespace Exceptions;

namespace
{

TEST(ExceptionTest, StandardInvalidArgumentHandlerCatchesBothArgumentExceptions)
{
    EXPECT_THROW(throw ArgumentException(Messages::InvalidPointer, MakeLocation("Ring", 367)),
                 std::invalid_argument);
    EXPECT_THROW(throw ArgumentOutOfRangeException(), std::invalid_argument);
    EXPECT_THROW(throw ArgumentOutOfRangeException(), std::out_of_range);
}

TEST(ExceptionTest, StandardSubObjectsCarryTheirOwnTexts)
{
    try
    {
        throw ArgumentOutOfRangeException();
    }
    catch (const std::out_of_range& e)
    {
        EXPECT_STREQ(e.what(), "");
    }
    try
    {
        throw ArgumentOutOfRangeException();
    }
    catch (const std::invalid_argument& e)
    {
        EXPECT_STREQ(e.what(), "Argument is out of range");
    }
    try
    {
        throw ArgumentException();
    }
    catch (const std::invalid_argument& e)
    {
        EXPECT_STREQ(e.what(), "");
    }
}

TEST(ExceptionTest, LibraryHandlerReadsMessageAndLocation)
{
    try
    {
        throw ArgumentException(Messages::NegativeTolerance, MakeLocation("Ring", 637));
    }
    catch (const Exception& e)
    {
        EXPECT_STREQ(e.Message(), "dToleranceDistance < 0");
        EXPECT_STREQ(e.what(), "dToleranceDistance < 0");
        EXPECT_EQ(e.Location(), "Ring, line: 637");
    }
    try
    {
        throw ArgumentException();
    }
    catch (const Exception& e)
    {
        EXPECT_STREQ(e.Message(), "Invalid argument");
        EXPECT_EQ(e.Location(), "undefined");
    }
}

TEST(ExceptionTest, MessageOnlyExceptionsReportUndefinedLocation)
{
    const Exception plain("some message");
    EXPECT_EQ(plain.Location(), "undefined");
    const ArgumentOutOfRangeException outOfRange;
    EXPECT_EQ(outOfRange.Location(), "undefined");
    EXPECT_STREQ(outOfRange.Message(), "Argument is out of range");
}

TEST(ExceptionTest, InvalidOperationIsNotAnArgumentException)
{
    bool caughtAsBase = false;
    try
    {
        throw InvalidOperationException(Messages::UninitializedEnumerator,
                                        MakeLocation("Collections/Enumerator", 90));
    }
    catch (const std::invalid_argument&)
    {
        FAIL() << "an invalid operation is not an invalid argument";
    }
    catch (const Exception& e)
    {
        caughtAsBase = true;
        EXPECT_EQ(e.Location(), "Collections/Enumerator, line: 90");
    }
    EXPECT_TRUE(caughtAsBase);
}

TEST(ExceptionTest, CopiesKeepMessageAndLocation)
{
    const ArgumentException original(Messages::InvalidPointer, MakeLocation("Polygon", 428));
    const ArgumentException copy = original; // NOLINT(performance-unnecessary-copy-initialization)
    EXPECT_STREQ(copy.Message(), original.Message());
    EXPECT_EQ(copy.Location(), "Polygon, line: 428");
}

} // namespace

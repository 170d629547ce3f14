#include "Exceptions/ArgumentException.h"
#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"

#include <gtest/gtest.h>
#include <string>

using namespace Exceptions;

namespace
{

// Standard handlers catch argument errors as std::invalid_argument (and out-of-range ones as
// std::out_of_range too), each standard sub-object with its own text; an invalid operation is
// no argument error.
TEST(ExceptionTest, StandardHandlersCatchEachKindByItsOwnBase)
{
    const auto whatAs = []<class Base>(auto thrower, const Base*) -> std::string
    {
        try
        {
            thrower();
        }
        catch (const Base& e)
        {
            return e.what();
        }
        catch (...)
        {
            return "not caught";
        }
        return "not thrown";
    };
    const auto outOfRange = [] { throw ArgumentOutOfRangeException(); };
    const auto argument = [] { throw ArgumentException(); };
    const auto operation = []
    { throw InvalidOperationException(Messages::UninitializedEnumerator, MakeLocation("E", 9)); };
    EXPECT_EQ(whatAs(outOfRange, static_cast<std::out_of_range*>(nullptr)), "");
    EXPECT_EQ(whatAs(outOfRange, static_cast<std::invalid_argument*>(nullptr)),
              "Argument is out of range");
    EXPECT_EQ(whatAs(argument, static_cast<std::invalid_argument*>(nullptr)), "");
    EXPECT_EQ(whatAs(operation, static_cast<std::invalid_argument*>(nullptr)), "not caught");
    EXPECT_NE(whatAs(operation, static_cast<Exception*>(nullptr)), "not caught");
}

// The library's handlers read the message and the location; without a location it is
// "undefined"; copies keep both.
TEST(ExceptionTest, MessagesAndLocationsAsTheLibrarysHandlersReadThem)
{
    const ArgumentException located(Messages::NegativeTolerance, MakeLocation("Ring", 637));
    const ArgumentException copy = located; // NOLINT(performance-unnecessary-copy-initialization)
    const InvalidOperationException operation(Messages::UninitializedEnumerator,
                                              MakeLocation("Collections/Enumerator", 90));
    const ArgumentException plainArgument;
    const ArgumentOutOfRangeException outOfRange;
    const Exception messageOnly("some message");
    const struct
    {
        const Exception& Thrown;
        const char* Message;
        std::string Location;
    } cases[] = {
        {located, "dToleranceDistance < 0", "Ring, line: 637"},
        {copy, "dToleranceDistance < 0", "Ring, line: 637"},
        {operation, Messages::UninitializedEnumerator, "Collections/Enumerator, line: 90"},
        {plainArgument, "Invalid argument", "undefined"},
        {outOfRange, "Argument is out of range", "undefined"},
        {messageOnly, "some message", "undefined"},
    };
    for (const auto& c : cases)
    {
        EXPECT_STREQ(c.Thrown.Message(), c.Message);
        EXPECT_EQ(c.Thrown.Location(), c.Location);
    }
    EXPECT_STREQ(static_cast<const Exception&>(located).what(), "dToleranceDistance < 0");
}

} // namespace

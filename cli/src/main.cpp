#include "CommandLine.h"
#include "Exceptions/Exception.h"
#include "Run.h"

#include <iostream>
#include <new>
#include <string>
#include <vector>

// The sanitizer builds free everything, so that their leak check still sees every allocation.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

int main(int argc, char** argv)
{
    try
    {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        auto options = ArealisCli::ParseCommandLine(arguments, std::cout);
        if (!options)
        {
            return 0;
        }
        options->LeaveLayersToExit = !Sanitized;
        return ArealisCli::Run(*options, std::cout, std::cerr);
    }
    // The library's exceptions first: its argument exceptions have two standard bases.
    catch (const Exceptions::Exception& e)
    {
        std::cerr << "arealis: error: " << e.Message() << '\n';
    }
    catch (const std::bad_alloc&)
    {
        std::cerr << "arealis: error: out of memory\n";
    }
    catch (const std::exception& e)
    {
        std::cerr << "arealis: error: " << e.what() << '\n';
    }
    catch (...)
    {
        std::cerr << "arealis: error: Unknown error.\n";
    }
    return 2;
}

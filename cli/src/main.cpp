#include "CommandLine.h"
#include "Exceptions/Exception.h"
#include "Run.h"

#include <iostream>
#include <new>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    try
    {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        const auto options = ArealisCli::ParseCommandLine(arguments, std::cout);
        if (!options)
        {
            return 0;
        }
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

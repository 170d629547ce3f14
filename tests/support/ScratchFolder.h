#pragma once

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace Arealis::Testing
{

// A folder of its own for the running test: CTest runs the cases of one program in parallel
// processes, so a folder shared by name would be removed under a neighbour's feet.
inline std::filesystem::path ScratchFolder(const std::string& strPrefix)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = strPrefix + "_" + std::to_string(::getpid());
    if (info != nullptr)
        name += std::string("_") + info->test_suite_name() + "_" + info->name();
    return std::filesystem::temp_directory_path() / name;
}

} // namespace Arealis::Testing

#pragma once

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
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

// The whole content of a file, empty when it cannot be read.
inline std::string FileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace Arealis::Testing

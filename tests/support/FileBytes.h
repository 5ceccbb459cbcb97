#pragma once
// A file's whole content as bytes, read and written without any conversion.
// Portable: the Windows tests use it too.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline void WriteBytes(const std::filesystem::path& path, const std::string& strBytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(strBytes.data(), static_cast<std::streamsize>(strBytes.size()));
}

// Empty when the file cannot be read.
inline std::string ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

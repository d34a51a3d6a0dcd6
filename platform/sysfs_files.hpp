#pragma once
// Reading sysfs attribute files: one value a file, a line each.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// The file's first line without its line end; empty when it cannot be read.
std::string FirstLine(const std::filesystem::path& path);

// A sysfs attribute in hexadecimal ("1501", "0002"); nothing when it is not one.
std::optional<std::uint32_t> HexAttribute(const std::filesystem::path& path);

// A sysfs attribute holding a whole decimal number ("45000", "-5000"); nothing when the
// file cannot be read or its first line is anything else.
std::optional<std::int64_t> DecimalAttribute(const std::filesystem::path& path);

}  // namespace platform

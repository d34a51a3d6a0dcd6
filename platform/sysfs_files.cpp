#include "platform/sysfs_files.hpp"

#include <charconv>
#include <cstdlib>
#include <fstream>

namespace platform {

std::string FirstLine(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

std::optional<std::uint32_t> HexAttribute(const std::filesystem::path& path) {
  const std::string text = FirstLine(path);
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 16);
  if (text.empty() || *end != '\0' || value > 0xFFFFFFFFul) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::optional<std::int64_t> DecimalAttribute(const std::filesystem::path& path) {
  const std::string text = FirstLine(path);
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

}  // namespace platform

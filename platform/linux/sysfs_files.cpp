#include "platform/linux/sysfs_files.hpp"

#include <cstdlib>
#include <fstream>

namespace platform::lnx {

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

}  // namespace platform::lnx

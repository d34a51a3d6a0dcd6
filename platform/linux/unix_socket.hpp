#pragma once
// One stream connection on a unix socket, for devices emulated outside a virtual machine.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform::lnx {

class UnixConnection {
 public:
  // Listens on `path` (replacing a stale socket file) and accepts one connection;
  // nullptr with `error` set when that fails.
  static std::unique_ptr<UnixConnection> AcceptOne(const std::string& path, std::string& error);
  ~UnixConnection();
  UnixConnection(const UnixConnection&) = delete;
  UnixConnection& operator=(const UnixConnection&) = delete;

  // Reads exactly `size` bytes; false when the peer closed or the read failed first.
  bool read_exact(std::uint8_t* data, std::size_t size);
  // Writes all `size` bytes; false when that fails.
  bool write_all(const std::uint8_t* data, std::size_t size);

 private:
  explicit UnixConnection(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace platform::lnx

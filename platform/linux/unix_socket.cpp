#include "platform/linux/unix_socket.hpp"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform::lnx {

std::unique_ptr<UnixConnection> UnixConnection::AcceptOne(const std::string& path, std::string& error) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) {
    error = path + ": path too long for a unix socket";
    return nullptr;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return nullptr;
  }
  ::unlink(path.c_str());
  int fd = -1;
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = "bind(" + path + "): " + std::strerror(errno);
  } else if (::listen(listener, 1) != 0) {
    error = "listen(" + path + "): " + std::strerror(errno);
  } else {
    do fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) error = "accept(" + path + "): " + std::strerror(errno);
  }
  ::close(listener);
  ::unlink(path.c_str());
  if (fd < 0) return nullptr;
  return std::unique_ptr<UnixConnection>(new UnixConnection(fd));
}

UnixConnection::~UnixConnection() { ::close(fd_); }

bool UnixConnection::read_exact(std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t got = ::read(fd_, data, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool UnixConnection::write_all(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd_, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace platform::lnx

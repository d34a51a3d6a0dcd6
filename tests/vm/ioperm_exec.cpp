// Runs in the machine, as root: allows the I/O ports FIRST to FIRST+COUNT-1 to this
// process and runs PROGRAM in it. The permission survives execve and is inherited by
// children, so a Windows program under Wine started this way executes its in and out
// instructions natively, as a port I/O driver lets it on Windows.
// Usage: ioperm-exec FIRST COUNT PROGRAM [ARGUMENT...]   (FIRST and COUNT in C notation)

#include <sys/io.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: ioperm-exec FIRST COUNT PROGRAM [ARGUMENT...]\n", stderr);
    return 2;
  }
  const unsigned long first = std::strtoul(argv[1], nullptr, 0);
  const unsigned long count = std::strtoul(argv[2], nullptr, 0);
  if (ioperm(first, count, 1) != 0) {
    std::fprintf(stderr, "ioperm-exec: ioperm(0x%lx, %lu): %s\n", first, count, std::strerror(errno));
    return 1;
  }
  execvp(argv[3], argv + 3);
  std::fprintf(stderr, "ioperm-exec: %s: %s\n", argv[3], std::strerror(errno));
  return 127;
}

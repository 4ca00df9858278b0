#pragma once
// Helpers shared by the Internet client tests.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "net/Internet.h"

namespace tvx::net::testing {

// Reads the whole body in 255-byte blocks, as the file workers do.
inline std::string ReadAll(Transfer& transfer) {
  std::string all;
  char block[255];
  while (std::size_t n = transfer.Read(block, sizeof block)) all.append(block, n);
  return all;
}

inline std::vector<std::string> ReadAllLines(Transfer& transfer) {
  std::vector<std::string> lines;
  std::string line;
  while (transfer.ReadLine(line)) lines.push_back(line);
  return lines;
}

// Every byte value several times over, line ends and NULs included.
inline std::string BinaryPattern(std::size_t size) {
  std::string data(size, '\0');
  unsigned state = 12345;
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    data[i] = static_cast<char>(i % 3 == 0 ? (state >> 16) & 0xFF : i & 0xFF);
  }
  return data;
}

// A loopback port nobody listens on (bound once, then released).
inline int UnusedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

// Sets the stall time-out for one test and puts the old value back.
class StallTimeout {
 public:
  explicit StallTimeout(long ms) : saved_(ClientLimits::stallTimeoutMs.exchange(ms)) {}
  ~StallTimeout() { ClientLimits::stallTimeoutMs.store(saved_); }

 private:
  long saved_;
};

}  // namespace tvx::net::testing

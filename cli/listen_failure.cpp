#include "cli/listen_failure.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wq::cli {

std::string WhyCannotListen(const std::string& host, int port) {
  const std::string where = "port " + std::to_string(port) + " on " + host;
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
      rc != 0) {
    return "cannot listen on " + where + ": " + gai_strerror(rc);
  }
  int error = 0;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      error = errno;
      continue;
    }
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);  // as the server does
    error = bind(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
    close(fd);
    if (error != EADDRNOTAVAIL) break;
  }
  freeaddrinfo(found);
  if (error == EADDRINUSE) {
    return where + " is in use by another program; pick another with --listen ADDRESS:PORT " +
           "(port 0 picks a free one)";
  }
  if (error == EACCES) {
    return "cannot listen on " + where +
           ": Permission denied (ports below 1024 need privileges; pick another with --listen)";
  }
  return "cannot listen on " + where + (error != 0 ? ": " + std::string(std::strerror(error)) : "");
}

}  // namespace wq::cli

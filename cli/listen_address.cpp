#include "cli/listen_address.h"

#include "cli/listen_failure.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/error.h"

namespace wq::cli {
namespace {

Error Bad(std::string_view text, const char* why) {
  return Error::InvalidProcedureCall("listen address \"" + std::string(text) + "\": " + why);
}

bool IsIpv6(const std::string& host) {
  in6_addr addr{};
  return inet_pton(AF_INET6, host.c_str(), &addr) == 1;
}

bool IsIpv4(const std::string& host) {
  in_addr addr{};
  return inet_pton(AF_INET, host.c_str(), &addr) == 1;
}

bool IsIpAddress(const std::string& host) { return IsIpv4(host) || IsIpv6(host); }

// Whether text (an address of that family) is the same address as bound, the socket's address.
bool SameAddress(int family, const std::string& text, const std::string& bound) {
  unsigned char a[16] = {}, b[16] = {};
  return inet_pton(family, text.c_str(), a) == 1 && inet_pton(family, bound.c_str(), b) == 1 &&
         std::memcmp(a, b, sizeof a) == 0;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

}  // namespace

ListenAddress ParseListenAddress(std::string_view text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) throw Bad(text, "expected ADDRESS:PORT");
  std::string_view host = text.substr(0, colon);
  const std::string_view port = text.substr(colon + 1);

  ListenAddress out;
  if (port.empty() || port.size() > 5 ||
      !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    throw Bad(text, "the port is not a number");
  }
  out.port = std::stoi(std::string(port));
  if (out.port > 65535) throw Bad(text, "the port is above 65535");

  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    out.host = std::string(host.substr(1, host.size() - 2));
    if (!IsIpv6(out.host)) throw Bad(text, "not an IPv6 address between the brackets");
    return out;
  }
  if (host.empty() || host.size() > 253) throw Bad(text, "no address");
  for (char c : host) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') {
      throw Bad(text,
                "an IPv6 address must stand in brackets; a host name holds only letters, "
                "digits, '.' and '-'");
    }
  }
  out.host = std::string(host);
  return out;
}

ListenSocket Listen(const ListenAddress& address) {
  const std::string where = address.host + ":" + std::to_string(address.port);
  const auto fail = [&](const std::string& why) {
    return Error::InvalidProcedureCall("cannot listen on " + where + ": " + why);
  };
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int rc =
          getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &found);
      rc != 0) {
    throw fail(gai_strerror(rc));
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, freeaddrinfo);

  ListenSocket out;
  out.fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
  if (out.fd < 0) throw fail(std::strerror(errno));
  const int yes = 1;
  setsockopt(out.fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (bind(out.fd, found->ai_addr, found->ai_addrlen) != 0 || listen(out.fd, 64) != 0 ||
      getsockname(out.fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    const int error = errno;
    close(out.fd);
    if (error == EADDRINUSE) throw Error::InvalidProcedureCall(WhyCannotListen(address.host, address.port));
    throw fail(std::strerror(error));
  }
  char text[INET6_ADDRSTRLEN] = {};
  if (bound.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&bound);
    inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    out.port = ntohs(v4->sin_port);
    out.loopback = (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    out.wildcard = v4->sin_addr.s_addr == htonl(INADDR_ANY);
  } else {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&bound);
    inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    out.port = ntohs(v6->sin6_port);
    out.loopback = IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr) ||
                   (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr) && v6->sin6_addr.s6_addr[12] == 127);
    out.wildcard = IN6_IS_ADDR_UNSPECIFIED(&v6->sin6_addr);
  }
  out.address = text;
  return out;
}

std::vector<std::string> AnsweredNames(const ListenSocket& socket, const ListenAddress& asked,
                                       const std::vector<std::string>& added) {
  std::vector<std::string> names;
  if (socket.loopback) names.push_back("localhost");
  if (!IsIpAddress(asked.host)) names.push_back(Lower(asked.host));
  if (!socket.loopback) {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') names.push_back(Lower(name));
  }
  for (const std::string& n : added) names.push_back(Lower(n));
  return names;
}

bool IsAnsweredHostHeader(std::string_view header, const ListenSocket& socket,
                          const std::vector<std::string>& names) {
  std::string name = Lower(header);
  const std::string suffix = ":" + std::to_string(socket.port);
  if (name.size() > suffix.size() && name.ends_with(suffix)) {
    name.resize(name.size() - suffix.size());
  } else if (socket.port != 80) {
    return false;
  }
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
    if (!IsIpv6(name)) return false;
    return socket.wildcard || SameAddress(AF_INET6, name, socket.address);
  }
  if (IsIpv4(name)) return socket.wildcard || SameAddress(AF_INET, name, socket.address);
  if (name.empty() || IsIpv6(name)) return false;
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace wq::cli

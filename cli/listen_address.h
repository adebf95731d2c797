// Where `webquorrel serve` listens: ADDRESS:PORT as given on the command line, the socket bound
// to it, and the Host header values it answers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wq::cli {

struct ListenAddress {
  std::string host;  // IPv4 address, host name, or IPv6 address without brackets
  int port = 0;      // 0: any free port
};

// "127.0.0.1:8750", "[::1]:8750", "localhost:0", "0.0.0.0:80". The host is an IPv4 address or
// host name of letters, digits, '.' and '-', or an IPv6 address in brackets; the port 0..65535.
// Raises invalid procedure call for anything else.
ListenAddress ParseListenAddress(std::string_view text);

// A listening TCP socket (close-on-exec, SO_REUSEADDR but not SO_REUSEPORT: a second server on
// the same port fails instead of sharing it) and what it was bound to.
struct ListenSocket {
  int fd = -1;
  std::string address;    // the bound address as text: "127.0.0.1", "::1", "0.0.0.0"
  int port = 0;           // the bound port, also when 0 was asked for
  bool loopback = false;  // bound to 127.0.0.0/8 or ::1 (also as ::ffff:127.x.y.z)
  bool wildcard = false;  // bound to every address of the machine (0.0.0.0, ::)
};

// Resolves the address (the first that the resolver gives) and binds and listens on it.
// Raises invalid procedure call "cannot listen on ..." when that fails.
ListenSocket Listen(const ListenAddress& address);

// The host names a browser may send in the Host header for this socket: "localhost" for a
// loopback socket, the name it was asked to listen on, the machine's name for a socket other
// machines reach, and what the administrator adds. Compared without regard to case.
std::vector<std::string> AnsweredNames(const ListenSocket& socket, const ListenAddress& asked,
                                       const std::vector<std::string>& added);

// Whether the server answers a request with that Host header: one of the names, or an IP
// address (a page reached by address is that address's own origin, so DNS rebinding cannot use
// it) that the socket is bound to (any, for a wildcard socket); with ":port" (which may be left
// out for port 80). Everything else is refused, so that a web page of another site cannot read
// the register through a name of its own that it points at this server (DNS rebinding).
bool IsAnsweredHostHeader(std::string_view header, const ListenSocket& socket,
                          const std::vector<std::string>& names);

}  // namespace wq::cli

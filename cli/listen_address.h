// Where `webquorrel serve` listens: ADDRESS:PORT as given on the command line.
#pragma once

#include <string>
#include <string_view>

namespace wq::cli {

struct ListenAddress {
  std::string host;  // IPv4 address, host name, or IPv6 address without brackets
  int port = 0;      // 0: any free port
};

// "127.0.0.1:8750", "[::1]:8750", "localhost:0", "0.0.0.0:80". The host is an IPv4 address or
// host name of letters, digits, '.' and '-', or an IPv6 address in brackets; the port 0..65535.
// Raises invalid procedure call for anything else.
ListenAddress ParseListenAddress(std::string_view text);

// Whether the host names this machine's loopback interface only (127.0.0.0/8, ::1, localhost).
bool IsLoopback(const std::string& host);

// The Host header values a browser sends for a loopback server on that port. Only these are
// answered, so that a web page of another site cannot read the register through a name that it
// points at 127.0.0.1 (DNS rebinding).
bool IsLoopbackHostHeader(std::string_view header, int port);

}  // namespace wq::cli

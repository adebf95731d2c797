#include "cli/listen_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

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

bool IsLoopback(const std::string& host) {
  if (Lower(host) == "localhost") return true;
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return false;
}

bool IsLoopbackHostHeader(std::string_view header, int port) {
  std::string name = Lower(header);
  const std::string suffix = ":" + std::to_string(port);
  if (name.size() > suffix.size() && name.ends_with(suffix)) {
    name.resize(name.size() - suffix.size());
  } else if (port != 80) {
    return false;
  }
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
    return IsIpv6(name) && IsLoopback(name);
  }
  return !IsIpv6(name) && IsLoopback(name);
}

}  // namespace wq::cli

// A running `webquorrel serve` on a free loopback port of a test register.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "tests/cli/ops_fixture.h"

namespace wq::testing {

// A TCP connection to 127.0.0.1:port (-1 when refused), reads giving up after 10 s.
inline int ConnectLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

struct HttpReply {
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::string Header(const std::string& name) const {
    const auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
  }
};

// One request on a connection of its own, the whole answer read; nothing when the server sent
// no answer. host is the Host header ("127.0.0.1:port" when empty).
inline std::optional<HttpReply> Http(int port, const std::string& method, const std::string& path,
                                     std::string host = {}, const std::string& body = {}) {
  if (host.empty()) host = "127.0.0.1:" + std::to_string(port);
  const int fd = ConnectLoopback(port);
  if (fd < 0) return std::nullopt;
  const std::string request =
      method + " " + path + " HTTP/1.1\r\nHost: " + host +
      "\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  std::string text;
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
      static_cast<ssize_t>(request.size())) {
    char buffer[4096];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) text.append(buffer, n);
  }
  close(fd);
  const size_t end = text.find("\r\n\r\n");
  if (text.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos) return std::nullopt;
  HttpReply reply;
  reply.status = std::stoi(text.substr(9, 3));
  for (size_t at = text.find("\r\n") + 2; at < end;) {
    const size_t eol = text.find("\r\n", at);
    const std::string line = text.substr(at, eol - at);
    if (const size_t colon = line.find(':'); colon != std::string::npos) {
      std::string name = line.substr(0, colon);
      std::transform(name.begin(), name.end(), name.begin(), ::tolower);
      reply.headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
    }
    at = eol + 2;
  }
  reply.body = text.substr(end + 4);
  return reply;
}

class Serve : public OpsCommands {
 protected:
  // Starts the server and waits until it says where it listens; port() is then set.
  void StartServer(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"serve", "--listen", "127.0.0.1:0"};
    args.insert(args.end(), extra.begin(), extra.end());
    server_ = std::make_unique<ChildProcess>(args, Env("PC-SERVE"), dir_ / "serve");
    ASSERT_TRUE(WaitFor([&] { return server_->Out().find("/\n") != std::string::npos; }))
        << server_->Err();
    const std::string out = server_->Out();
    const std::string prefix = "listening on http://127.0.0.1:";
    ASSERT_EQ(out.rfind(prefix, 0), 0u) << out;
    port_ = std::stoi(out.substr(prefix.size()));
  }
  int port() const { return port_; }
  std::string Url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  // Records of several modules, and names meant to break out of the page.
  void SeedRegister() {
    AddRecord("PC-2,2026-3-7 9:05:02", "Sales");
    AddRecord("PC-1,2026-3-7 9:06:00", "Sales", 1);
    AddRecord("PC-3,2026-3-7 9:00:00", "Inventory");
    AddRecord("<img src=x onerror=\"document.body.dataset.pwned=1\">,2026-3-7 9:00:00",
              "<script>document.body.dataset.pwned=2</script>");
    AddRecord("PC-4,", "Sales");
    AddRaw("XYZ", "Sales");
  }

  std::unique_ptr<ChildProcess> server_;
  int port_ = 0;
};

}  // namespace wq::testing

// A loopback stand-in for SQL Server that speaks just enough TDS to receive what a client sends
// at login: it answers the PRELOGIN record (no encryption offered), reads the LOGIN7 record and
// hangs up; beside it, a SQL Browser on UDP 1434 of the same address answers instance queries.
// It binds 127.0.0.N with N drawn at random, so that parallel runs do not meet.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/text/text.h"

namespace wq::db::odbc::testing {

struct LoginRecord {
  uint32_t tds_version = 0;
  Text workstation, user, password, app, server, library, language, database;
};

struct Received {
  std::string address;  // the listener's own
  bool prelogin = false;
  int encryption = -1;   // the PRELOGIN ENCRYPTION byte: 0 off, 1 on, 2 not supported, 3 required
  std::string instance;  // the PRELOGIN instance name
  std::string browser_query;  // the instance a SQL Browser query asked for
  std::optional<LoginRecord> login;
};

class TdsListener {
 public:
  TdsListener() {
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 50 && tcp_ < 0; ++attempt) {
      address_ = "127.0.0." + std::to_string(2 + random() % 250);
      int tcp = Bind(SOCK_STREAM, 0), udp = Bind(SOCK_DGRAM, 1434);
      if (tcp >= 0 && udp >= 0 && listen(tcp, 4) == 0) {
        tcp_ = tcp;
        udp_ = udp;
      } else {
        if (tcp >= 0) close(tcp);
        if (udp >= 0) close(udp);
      }
    }
    if (tcp_ < 0) return;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(tcp_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TdsListener() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (tcp_ >= 0) close(tcp_);
    if (udp_ >= 0) close(udp_);
  }
  bool ok() const { return tcp_ >= 0; }
  const std::string& address() const { return address_; }
  int port() const { return port_; }
  // What arrived; call after the client gave up.
  Received Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    received_.address = address_;
    return received_;
  }

 private:
  int Bind(int type, int port) {
    int fd = socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address_.c_str(), &a.sin_addr);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
  }

  void Serve() {
    while (!stop_) {
      pollfd fds[2] = {{tcp_, POLLIN, 0}, {udp_, POLLIN, 0}};
      if (poll(fds, 2, 50) <= 0) continue;
      if (fds[1].revents & POLLIN) AnswerBrowser();
      if (fds[0].revents & POLLIN) {
        int client = accept(tcp_, nullptr, nullptr);
        if (client >= 0) {
          Converse(client);
          close(client);
        }
      }
    }
  }

  // CLNT_UCAST_INST (0x04, the instance name) gets SVR_RESP (0x05, length, the instance's text).
  void AnswerBrowser() {
    char buffer[512];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(udp_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 2 || buffer[0] != 0x04) return;
    received_.browser_query.assign(buffer + 1, static_cast<size_t>(n - 1));
    while (!received_.browser_query.empty() && received_.browser_query.back() == '\0') {
      received_.browser_query.pop_back();
    }
    std::string text = "ServerName;FAKE;InstanceName;" + received_.browser_query +
                       ";IsClustered;No;Version;15.0.2000.5;tcp;" + std::to_string(port_) + ";;";
    std::string reply = {0x05, static_cast<char>(text.size() & 0xFF),
                         static_cast<char>(text.size() >> 8)};
    reply += text;
    sendto(udp_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
  }

  // One TDS message: packets until the one marked end of message.
  static std::optional<std::vector<uint8_t>> ReadMessage(int fd, uint8_t& type) {
    std::vector<uint8_t> payload;
    for (;;) {
      uint8_t header[8];
      if (!ReadAll(fd, header, 8)) return std::nullopt;
      type = header[0];
      size_t length = (header[2] << 8) | header[3];
      if (length < 8) return std::nullopt;
      size_t at = payload.size();
      payload.resize(at + length - 8);
      if (!ReadAll(fd, payload.data() + at, length - 8)) return std::nullopt;
      if (header[1] & 0x01) return payload;
    }
  }
  static bool ReadAll(int fd, uint8_t* out, size_t n) {
    while (n > 0) {
      pollfd p = {fd, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) return false;
      ssize_t got = read(fd, out, n);
      if (got <= 0) return false;
      out += got;
      n -= static_cast<size_t>(got);
    }
    return true;
  }

  void Converse(int fd) {
    uint8_t type = 0;
    std::optional<std::vector<uint8_t>> prelogin = ReadMessage(fd, type);
    if (!prelogin || type != 0x12) return;
    received_.prelogin = true;
    const std::vector<uint8_t>& p = *prelogin;
    for (size_t i = 0; i + 5 <= p.size() && p[i] != 0xFF; i += 5) {
      size_t offset = (p[i + 1] << 8) | p[i + 2], length = (p[i + 3] << 8) | p[i + 4];
      if (offset + length > p.size()) break;
      if (p[i] == 0x01 && length >= 1) received_.encryption = p[offset];
      if (p[i] == 0x02) {
        received_.instance.assign(p.begin() + offset, p.begin() + offset + length);
        while (!received_.instance.empty() && received_.instance.back() == '\0') {
          received_.instance.pop_back();
        }
      }
    }
    // Version 15.0.2000, encryption not supported: the login then travels in the clear.
    const uint8_t reply[] = {0x04, 0x01, 0x00, 26,   0x00, 0x00, 0x01, 0x00, 0x00,
                             0x00, 11,   0x00, 6,    0x01, 0x00, 17,   0x00, 0x01,
                             0xFF, 0x0F, 0x00, 0x07, 0xD0, 0x00, 0x00, 0x02};
    if (write(fd, reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) return;
    std::optional<std::vector<uint8_t>> login = ReadMessage(fd, type);
    if (login && type == 0x10 && login->size() >= 94) received_.login = ParseLogin(*login);
  }

  static LoginRecord ParseLogin(const std::vector<uint8_t>& m) {
    auto u16 = [&](size_t at) { return static_cast<size_t>(m[at] | (m[at + 1] << 8)); };
    // A UCS-2 field by its offset and length in characters; the password is obfuscated: each
    // byte had its halves swapped and was XORed with 0xA5.
    auto field = [&](size_t at, bool obfuscated = false) {
      size_t offset = u16(at), chars = u16(at + 2);
      Text out;
      for (size_t i = 0; i < chars && offset + 2 * i + 1 < m.size(); ++i) {
        uint8_t b[2] = {m[offset + 2 * i], m[offset + 2 * i + 1]};
        for (uint8_t& x : b) {
          if (obfuscated) x = static_cast<uint8_t>(((x ^ 0xA5) << 4) | ((x ^ 0xA5) >> 4));
        }
        out.push_back(static_cast<char16_t>(b[0] | (b[1] << 8)));
      }
      return out;
    };
    LoginRecord r;
    r.tds_version = m[4] | (m[5] << 8) | (m[6] << 16) | (static_cast<uint32_t>(m[7]) << 24);
    r.workstation = field(36);
    r.user = field(40);
    r.password = field(44, true);
    r.app = field(48);
    r.server = field(52);
    r.library = field(60);
    r.language = field(64);
    r.database = field(68);
    return r;
  }

  std::string address_;
  int tcp_ = -1, udp_ = -1, port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  Received received_;
};

}  // namespace wq::db::odbc::testing

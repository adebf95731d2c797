#include <unistd.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/history_command.h"  // history: the page's chart
#include "cli/http_server.h"
#include "cli/listen_address.h"
#include "cli/listen_failure.h"
#include "cli/metrics.h"  // metrics: /metrics
#include "cli/online_json.h"
#include "cli/signals.h"
#include "platform/error.h"
#include "presence/age.h"
#include "presence/online.h"

namespace wq::cli {

extern const char kServePage[];  // cli/serve/page.html, embedded at build time

namespace {

constexpr char kDefaultListen[] = "127.0.0.1:8750";

// The page's script is inline; it may fetch from this server and nothing else.
constexpr char kPagePolicy[] =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

constexpr char kJson[] = "application/json; charset=utf-8";

struct ServeOptions {
  std::string listen = kDefaultListen;
  bool allowRemote = false;
  std::vector<std::string> hostNames;
  std::string staleAfter;              // a duration; empty: no record is marked
  std::optional<std::string> history;  // history: --history
  int metricsInterval = 15;            // metrics: --scan-interval
};

std::string AddressForUrl(const std::string& address) {
  return address.find(':') == std::string::npos ? address : "[" + address + "]";
}

// What every response carries.
void AddCommonHeaders(HttpResponse& res) {
  res.headers.insert(res.headers.begin(), {{"Cache-Control", "no-store"},
                                           {"X-Content-Type-Options", "nosniff"},
                                           {"Referrer-Policy", "no-referrer"},
                                           {"X-Frame-Options", "DENY"}});
}

// One line a request on standard error: client, method, path, status. What the client sent is
// cut short and its control characters replaced, so that it cannot forge lines or move the
// cursor of the terminal that shows the log.
void LogRequest(const HttpRequest& req, int status) {
  const auto clean = [](const std::string& text) {
    std::string out = text.substr(0, 200);
    for (char& c : out) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return out;
  };
  std::cerr << req.client << " " << clean(req.method) << " " << clean(req.path) << " " << status
            << std::endl;
}

// What the routes read: the socket and its names for the Host check, the register, and the
// history file and metrics scanner behind the page's chart and /metrics.
struct Site {
  const ListenSocket& socket;
  const std::vector<std::string>& names;
  const Text& connectionString;
  std::optional<int64_t> staleAfter;
  const std::optional<std::string>& history;  // history: the page's chart
  MetricsScanner& metrics;                    // metrics: /metrics
};

HttpResponse Route(const HttpRequest& req, const Site& site) {
  if (req.method != "GET" && req.method != "HEAD") {
    return {405,
            "text/plain; charset=utf-8",
            "read-only: GET and HEAD only\n",
            {{"Allow", "GET, HEAD"}}};
  }
  if (!IsAnsweredHostHeader(req.host, site.socket, site.names)) {
    return {421,
            "text/plain; charset=utf-8",
            "this server does not answer for that host name; its administrator can add it "
            "with --host-name\n",
            {}};
  }
  if (req.path == "/") {
    // history: the page with the chart of the history file.
    return {200,
            "text/html; charset=utf-8",
            PageWithHistory(kServePage, site.history),
            {{"Content-Security-Policy", kPagePolicy}}};
  }
  if (req.path == "/metrics") {  // metrics: the register for Prometheus
    return {200, kExpositionContentType, site.metrics.Scrape(), {}};
  }
  if (req.path == "/api/online") {
    try {
      return {
          200, kJson, OnlineJson(presence::ReadOnline(site.connectionString), site.staleAfter), {}};
    } catch (const std::exception& e) {
      // The details (server, port, driver) are for the administrator, not for every visitor.
      std::cerr << "webquorrel serve: cannot read the register: " << e.what() << std::endl;
      return {503, kJson, ErrorJson("the register cannot be read; the server's log says why"), {}};
    }
  }
  return {404, "text/plain; charset=utf-8", "not found\n", {}};
}

void Serve(const ServeOptions& options, const Text& connectionString) {
  const ListenAddress address = ParseListenAddress(options.listen);
  std::optional<int64_t> staleAfter;
  if (!options.staleAfter.empty()) staleAfter = presence::ParseDuration(options.staleAfter);
  const ListenSocket socket = Listen(address);
  if (!socket.loopback && !options.allowRemote) {
    close(socket.fd);
    throw Error(kInvalidProcedureCall,
                options.listen +
                    " is reachable from other machines; to serve the register to "
                    "them, add --allow-remote");
  }
  if (!socket.loopback) {
    std::cerr << "webquorrel serve: warning: listening on " << AddressForUrl(socket.address) << ":"
              << socket.port
              << ", which other machines reach: anyone who reaches it sees who is online\n";
  }
  const std::vector<std::string> names = AnsweredNames(socket, address, options.hostNames);

  StopSignals signals;  // before the server starts its threads, which inherit the mask
  // metrics: the register for Prometheus, scanned at most once per interval.
  MetricsScanner metrics([&connectionString] { return presence::ReadOnline(connectionString); },
                         std::chrono::seconds(options.metricsInterval));
  const Site site{socket, names, connectionString, staleAfter, options.history, metrics};
  HttpServer server(socket.fd, HttpLimits{}, [&](const HttpRequest& req) {
    HttpResponse res = Route(req, site);
    AddCommonHeaders(res);
    LogRequest(req, res.status);
    return res;
  });
  std::cout << "listening on http://" << AddressForUrl(socket.address) << ":" << socket.port << "/"
            << std::endl;
  while (signals.Wait(std::chrono::seconds(60)) == 0) {
  }
  std::cout << "stopped" << std::endl;
}

}  // namespace

void AddServeCommand(CLI::App& app) {
  struct Options : DatabaseOptions, ServeOptions {};
  std::shared_ptr<Options> options;
  CLI::App* command = AddDatabaseCommand(
      app, options, "serve",
      "Serve a read-only web page of who is online with its history, its data at /api/online and "
      "metrics at /metrics");
  command
      ->add_option("--listen", options->listen, "ADDRESS:PORT to listen on (port 0: any free port)")
      ->default_str(kDefaultListen);
  command->add_flag("--allow-remote", options->allowRemote,
                    "Allow an address that other machines reach (a warning is printed)");
  command->add_option("--host-name", options->hostNames,
                      "A further name that browsers reach this server by (Host header); "
                      "may be repeated");
  command->add_option("--stale-after", options->staleAfter,
                      "Mark records older than this on the page (the prune limit: 90s, 10m, 2h "
                      "or 1d)");
  AddHistoryOption(*command, options->history);  // history: --history
  // metrics: --scan-interval
  command
      ->add_option("--scan-interval", options->metricsInterval,
                   "/metrics scans the register at most once in SECONDS (the scrape interval)")
      ->check(CLI::Range(1, 3600))
      ->default_str("15");
  command->callback([options] { Serve(*options, LookingConnection(options->conn)); });
}

}  // namespace wq::cli

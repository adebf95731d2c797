#include <httplib.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/history_command.h"  // history: the page's chart
#include "cli/listen_address.h"
#include "cli/metrics.h"  // metrics: /metrics
#include "cli/online_json.h"
#include "cli/signals.h"
#include "platform/error.h"
#include "presence/online.h"

namespace wq::cli {

extern const char kServePage[];  // cli/serve/page.html, embedded at build time

namespace {

constexpr char kDefaultListen[] = "127.0.0.1:8750";

// The page's script is inline; it may fetch from this server and nothing else.
constexpr char kPagePolicy[] =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

std::string AddressForUrl(const ListenAddress& a) {
  return a.host.find(':') == std::string::npos ? a.host : "[" + a.host + "]";
}

void Serve(const std::string& listen, const Text& connectionString,
           const std::optional<std::string>& history, int metricsInterval) {
  const ListenAddress address = ParseListenAddress(listen);
  const bool loopback = IsLoopback(address.host);

  StopSignals signals;  // before the server starts its threads, which inherit the mask
  httplib::Server server;
  server.new_task_queue = [] { return new httplib::ThreadPool(4); };
  // SO_REUSEADDR alone: a restart need not wait for old connections, but a second server on the
  // same port fails instead of sharing it (the library's default, SO_REUSEPORT, would share).
  server.set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server.set_payload_max_length(1024);
  server.set_read_timeout(std::chrono::seconds(5));
  server.set_default_headers({{"Cache-Control", "no-store"},
                              {"X-Content-Type-Options", "nosniff"},
                              {"Referrer-Policy", "no-referrer"},
                              {"X-Frame-Options", "DENY"}});

  std::atomic<int> port{address.port};
  server.set_pre_routing_handler([&](const httplib::Request& req, httplib::Response& res) {
    if (req.method != "GET" && req.method != "HEAD") {
      res.status = 405;
      res.set_header("Allow", "GET, HEAD");
      res.set_content("read-only: GET and HEAD only\n", "text/plain; charset=utf-8");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (loopback && !IsLoopbackHostHeader(req.get_header_value("Host"), port.load())) {
      res.status = 421;
      res.set_content("this server answers for its loopback address only\n",
                      "text/plain; charset=utf-8");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  server.Get("/", [&history](const httplib::Request&, httplib::Response& res) {
    res.set_header("Content-Security-Policy", kPagePolicy);
    // history: the page with the chart of the history file.
    res.set_content(PageWithHistory(kServePage, history), "text/html; charset=utf-8");
  });
  // metrics: the register for Prometheus, scanned at most once per interval.
  MetricsScanner metrics([&connectionString] { return presence::ReadOnline(connectionString); },
                         std::chrono::seconds(metricsInterval));
  server.Get("/metrics", [&metrics](const httplib::Request&, httplib::Response& res) {
    res.set_content(metrics.Scrape(), kExpositionContentType);
  });
  server.Get("/api/online", [&connectionString](const httplib::Request&, httplib::Response& res) {
    try {
      res.set_content(OnlineJson(presence::ReadOnline(connectionString)),
                      "application/json; charset=utf-8");
    } catch (const std::exception& e) {
      res.status = 503;
      res.set_content(ErrorJson(e.what()), "application/json; charset=utf-8");
    }
  });

  if (address.port == 0) {
    port = server.bind_to_any_port(address.host);
    if (port <= 0) throw Error(kInvalidProcedureCall, "cannot listen on " + listen);
  } else if (!server.bind_to_port(address.host, address.port)) {
    throw Error(kInvalidProcedureCall, "cannot listen on " + listen);
  }
  std::cout << "listening on http://" << AddressForUrl(address) << ":" << port.load() << "/"
            << std::endl;

  std::atomic<bool> stopped{false};
  std::thread worker([&] {
    server.listen_after_bind();
    stopped = true;
  });
  int sig = 0;
  while (!stopped && (sig = signals.Wait(std::chrono::milliseconds(250))) == 0) {
  }
  server.stop();
  worker.join();
  if (sig == 0) throw Error(kProviderError, "the server stopped listening on " + listen);
  std::cout << "stopped" << std::endl;
}

}  // namespace

void AddServeCommand(CLI::App& app) {
  struct Options : DatabaseOptions {
    std::string listen = kDefaultListen;
    std::optional<std::string> history;  // history: --history
    int metricsInterval = 15;            // metrics: --scan-interval
  };
  std::shared_ptr<Options> options;
  CLI::App* command = AddDatabaseCommand(
      app, options, "serve",
      "Serve a read-only web page of who is online with its history, its data at /api/online and "
      "metrics at /metrics");
  command
      ->add_option("--listen", options->listen, "ADDRESS:PORT to listen on (port 0: any free port)")
      ->default_str(kDefaultListen);
  AddHistoryOption(*command, options->history);  // history: --history
  // metrics: --scan-interval
  command
      ->add_option("--scan-interval", options->metricsInterval,
                   "/metrics scans the register at most once in SECONDS (the scrape interval)")
      ->check(CLI::Range(1, 3600))
      ->default_str("15");
  command->callback([options] {
    Serve(options->listen, PrepareConnection(options->conn), options->history,
          options->metricsInterval);
  });
}

}  // namespace wq::cli

// The web server as a process, through its JSON endpoint and plain HTTP, and the pieces it is
// built from: the listen address, the Host check, the JSON text, the metrics text and the
// history that the page charts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <thread>

#include "cli/history_report.h"
#include "cli/history_store.h"
#include "cli/listen_address.h"
#include "cli/metrics.h"
#include "cli/online_json.h"
#include "cli/terminal_text.h"
#include "platform/error.h"
#include "tests/cli/serve_fixture.h"

namespace wq::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(ListenAddress, AcceptsAddressesHostNamesAndBracketedIpv6) {
  cli::ListenAddress a = cli::ParseListenAddress("127.0.0.1:8750");
  EXPECT_EQ(a.host, "127.0.0.1");
  EXPECT_EQ(a.port, 8750);
  a = cli::ParseListenAddress("[::1]:0");
  EXPECT_EQ(a.host, "::1");
  EXPECT_EQ(a.port, 0);
  EXPECT_EQ(cli::ParseListenAddress("intranet-7.example:65535").host, "intranet-7.example");

  for (const char* bad :
       {"", ":80", "127.0.0.1", "127.0.0.1:", "127.0.0.1:65536", "127.0.0.1:-1", "127.0.0.1:+80",
        "127.0.0.1:0x50", "127.0.0.1:80 ", " 127.0.0.1:80", "::1:80", "[::1:80", "[nothost]:80",
        "a b:80", "host/x:80", "host\n:80", "127.0.0.1:999999"}) {
    EXPECT_THROW(cli::ParseListenAddress(bad), Error) << bad;
  }
}

// Loopback is decided by the bound socket, whatever the address was called; the Host header is
// checked against the names the server answers to for every socket.
TEST(ListenAddress, BoundSocketDecidesLoopbackAndTheHostHeadersItAnswers) {
  const auto listen = [](const std::string& text) {
    const cli::ListenSocket s = cli::Listen(cli::ParseListenAddress(text));
    close(s.fd);
    return s;
  };
  cli::ListenSocket s = listen("localhost:0");
  EXPECT_TRUE(s.loopback);
  EXPECT_FALSE(s.wildcard);
  EXPECT_GT(s.port, 0);
  EXPECT_TRUE(listen("127.8.9.10:0").loopback);
  EXPECT_TRUE(listen("[::1]:0").loopback);
  s = listen("0.0.0.0:0");
  EXPECT_FALSE(s.loopback);
  EXPECT_TRUE(s.wildcard);
  EXPECT_THROW(listen("no-such-host.invalid:0"), Error);

  cli::ListenSocket lo;
  lo.address = "127.0.0.1";
  lo.port = 8750;
  lo.loopback = true;
  const auto names =
      cli::AnsweredNames(lo, cli::ParseListenAddress("Intranet-Name:8750"), {"Board.Example"});
  for (const char* header : {"127.0.0.1:8750", "localhost:8750", "LOCALHOST:8750",
                             "intranet-name:8750", "board.example:8750"}) {
    EXPECT_TRUE(cli::IsAnsweredHostHeader(header, lo, names)) << header;
  }
  for (const char* header :
       {"", "evil.example:8750", "rebind.attacker.example:8750", "127.0.0.1:8751", "127.0.0.1",
        "127.0.0.2:8750", "127.0.0.1.evil.example:8750", "[::ffff:7f00:1]:8750", "[::1]:8750",
        "::1:8750", "localhost:8750:8750", ":8750", "[]:8750", "[localhost]:8750"}) {
    EXPECT_FALSE(cli::IsAnsweredHostHeader(header, lo, names)) << header;
  }
  lo.port = 80;
  EXPECT_TRUE(cli::IsAnsweredHostHeader("localhost", lo, names));

  // A socket on every address answers any address, but names only of its own.
  cli::ListenSocket any;
  any.address = "::";
  any.port = 8750;
  any.wildcard = true;
  const auto anyNames = cli::AnsweredNames(any, cli::ParseListenAddress("[::]:8750"), {});
  EXPECT_TRUE(cli::IsAnsweredHostHeader("192.168.7.3:8750", any, anyNames));
  EXPECT_TRUE(cli::IsAnsweredHostHeader("[fe80::1]:8750", any, anyNames));
  EXPECT_FALSE(cli::IsAnsweredHostHeader("evil.example:8750", any, anyNames));
  EXPECT_FALSE(cli::IsAnsweredHostHeader("localhost:8750", any, anyNames));
}

TEST(OnlineJson, StoredTextsCannotBreakOutOfStringsOrReadAsHtml) {
  presence::OnlineSnapshot s;
  s.serverTime = u"2026-3-7 9:05:02";
  presence::OnlineEntry e;
  e.row.number = 7;
  e.row.workstation = u"</script><b>\"PC\\\n";
  e.row.time = u"2026-3-7 9:00:00";
  e.row.login = true;
  e.row.kind = presence::RecordKind::kLive;
  e.row.when = db::DateTime{2026, 3, 7, 9, 0, 0};
  e.row.module = u"A&B\u2028";
  e.ageSeconds = 302;
  presence::OnlineEntry noAge = e;
  noAge.row.number.reset();
  noAge.ageSeconds.reset();
  s.modules.push_back({u"A&B\u2028", {e, noAge}});
  s.damaged = 2;
  const std::string json = cli::OnlineJson(s);
  EXPECT_EQ(json,
            "{\"serverTime\": \"2026-3-7 9:05:02\", \"serverTimeIso\": \"2026-03-07T09:05:02\", "
            "\"modules\": [{\"module\": \"A\\u0026B\\u2028\", \"records\": [{\"id\": 7, "
            "\"workstation\": \"\\u003c/script\\u003e\\u003cb\\u003e\\\"PC\\\\\\n\", "
            "\"time\": \"2026-3-7 9:00:00\", \"timeIso\": \"2026-03-07T09:00:00\", "
            "\"ageSeconds\": 302, \"module\": \"A\\u0026B\\u2028\", \"login\": true, "
            "\"kind\": \"live\"}, {\"id\": null, "
            "\"workstation\": \"\\u003c/script\\u003e\\u003cb\\u003e\\\"PC\\\\\\n\", "
            "\"time\": \"2026-3-7 9:00:00\", \"timeIso\": \"2026-03-07T09:00:00\", "
            "\"ageSeconds\": null, \"module\": \"A\\u0026B\\u2028\", \"login\": true, "
            "\"kind\": \"live\"}]}], \"damaged\": 2, \"unreadable\": 0}\n");
  EXPECT_EQ(cli::ErrorJson("no <table>"), "{\"error\": \"no \\u003ctable\\u003e\"}\n");
  EXPECT_TRUE(cli::OnlineJson(s, 600).ends_with(
      "\"damaged\": 2, \"unreadable\": 0, \"staleAfterSeconds\": 600}\n"));
}

TEST(TerminalText, ControlsAndDirectionOverridesBecomeQuestionMarks) {
  EXPECT_EQ(cli::Printable(u"PC-1 Ä 計"), "PC-1 Ä 計");
  EXPECT_EQ(cli::Printable(u"a\nb\rc\x1b[2J\x7f\u0085\u2028\u202e\u2066"), "a?b?c?[2J?????");
  EXPECT_EQ(cli::QuotedPrintable(u"\t"), "\"?\"");
}

presence::OnlineSnapshot TwoModules() {
  presence::OnlineSnapshot s;
  presence::OnlineEntry e;
  e.ageSeconds = 30;
  s.modules.push_back({u"Sales", {e, e}});
  e.ageSeconds = 95;
  s.modules.push_back({u"a\"b\\c\nd", {e}});
  s.damaged = 1;
  s.unreadable = 2;
  return s;
}

TEST(Metrics, ExpositionTextNamesEveryFamilyAndEscapesLabels) {
  cli::ScanState state;
  state.snapshot = TwoModules();
  state.lastScanSeconds = 0.25;
  state.scans = 3;
  state.failures = 1;
  const std::string text = cli::ExpositionText(state);
  for (const char* line :
       {"# TYPE webquorrel_records gauge\nwebquorrel_records 6\n",
        "webquorrel_online_workstations{module=\"Sales\"} 2\n",
        "webquorrel_online_workstations{module=\"a\\\"b\\\\c\\nd\"} 1\n",
        "webquorrel_damaged_records 1\n", "webquorrel_unreadable_records 2\n",
        "webquorrel_oldest_record_age_seconds 95\n", "webquorrel_last_scan_success 1\n",
        "webquorrel_last_scan_duration_seconds 0.250000\n",
        "# TYPE webquorrel_scans_total counter\nwebquorrel_scans_total 3\n",
        "webquorrel_scan_failures_total 1\n"}) {
    EXPECT_THAT(text, HasSubstr(line));
  }
  // After a failed scan the register's gauges are gone rather than stale.
  state.snapshot.reset();
  const std::string failed = cli::ExpositionText(state);
  EXPECT_THAT(failed, Not(HasSubstr("webquorrel_records")));
  EXPECT_THAT(failed, HasSubstr("webquorrel_last_scan_success 0\n"));
}

TEST(Metrics, ManyScrapersShareOneScanPerInterval) {
  std::atomic<int> scans{0};
  bool fail = false;
  cli::MetricsScanner scanner(
      [&] {
        ++scans;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (fail) throw Error(kProviderError, "down");
        return TwoModules();
      },
      std::chrono::milliseconds(300));
  std::vector<std::thread> scrapers;
  for (int i = 0; i < 8; ++i) scrapers.emplace_back([&] { scanner.Scrape(); });
  for (auto& t : scrapers) t.join();
  EXPECT_EQ(scans, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  fail = true;
  EXPECT_THAT(scanner.Scrape(), HasSubstr("webquorrel_scan_failures_total 1\n"));
  EXPECT_EQ(scans, 2);
}

// Samples of one module at the given minutes (Unix seconds) with the given counts.
void RecordSeries(cli::HistoryStore& store, const std::vector<std::pair<int64_t, int64_t>>& s) {
  for (const auto& [t, n] : s) store.Record(t, {{u"Sales", n, 0}});
}

TEST(History, MinutesFoldIntoHourlyPeaksAfter30DaysAndGoAfterTwoYears) {
  const auto dir = MakeTempDir("history");
  const std::string file = (dir / "sub" / "history.db").string();
  EXPECT_EQ(cli::HistoryStore::Open(file, false), nullptr);
  auto store = cli::HistoryStore::Open(file, true);
  const int64_t day0 = 1780000000 / 86400 * 86400;  // a UTC midnight
  RecordSeries(
      *store,
      {{day0 + 60, 2}, {day0 + 125, 5}, {day0 + 130, 4}, {day0 + 1800, 5}, {day0 + 3700, 1}});
  auto samples = store->Read(0);
  ASSERT_EQ(samples.size(), 4u) << "one sample a minute: the later in a minute replaces";
  EXPECT_EQ(samples[1].taken, day0 + 120);
  EXPECT_EQ(samples[1].modules[0].online, 4);

  // 31 days on, each hour is its peak and the time the peak was first reached.
  store->Record(day0 + 31 * 86400, {});
  samples = store->Read(0);
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_TRUE(samples[0].hour);
  EXPECT_EQ(samples[0].modules[0].online, 5);
  EXPECT_EQ(samples[0].modules[0].at, day0 + 1800);
  EXPECT_EQ(cli::UtcTimeText(samples[0].modules[0].at).substr(10), "T00:30:00Z");
  EXPECT_EQ(samples[1].modules[0].online, 1);
  EXPECT_TRUE(samples[2].modules.empty());
  const auto peaks = cli::DailyPeaks(samples);
  ASSERT_EQ(peaks.size(), 1u);
  EXPECT_EQ(peaks[0].peak, 5);
  EXPECT_EQ(peaks[0].at, day0 + 1800);

  // Folding again changes nothing; two years on the hours are gone too.
  store->Record(day0 + 31 * 86400 + 60, {});
  EXPECT_EQ(store->Read(0).size(), 4u);
  store->Record(day0 + 731 * 86400, {});
  samples = store->Read(0);
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[0].taken, day0 + 31 * 86400) << "the hours of day 0 are gone";
  store.reset();

  // A damaged file is reported as such, whatever its rows hold.
  for (const char* counts : {"", "{}", "[[\"Sales\", 1]]", "[[1, 2, 3]]", "[[\"Sales\", 1.5, 0]]",
                             "[[\"Sales\", \"1\", 0]]", "[[\"Sales\", 1, 0]", "[null]"}) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO minute_sample VALUES (1, ?)", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, counts, -1, SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    sqlite3_close(db);
    try {
      cli::HistoryStore::Open(file, false)->Read(0);
      ADD_FAILURE() << counts;
    } catch (const Error& e) {
      EXPECT_THAT(e.description(), HasSubstr("the history file holds a damaged sample")) << counts;
    }
  }
  std::filesystem::remove_all(dir);
}

TEST(History, SinceTakesDurationsAndUtcTimesAndRefusesTheRest) {
  const int64_t now = 1780000000;
  EXPECT_EQ(cli::ParseSince("90m", now), now - 5400);
  EXPECT_EQ(cli::ParseSince("30d", now), now - 30 * 86400);
  EXPECT_EQ(cli::UtcTimeText(cli::ParseSince("2026-12-01", now)), "2026-12-01T00:00:00Z");
  EXPECT_EQ(cli::UtcTimeText(cli::ParseSince("2024-02-29T23:59:58Z", now)), "2024-02-29T23:59:58Z");
  EXPECT_EQ(cli::UtcTimeText(cli::ParseSince("2026-12-01 08:05", now)), "2026-12-01T08:05:00Z");
  for (const char* bad : {"", "24", "-1h", "1h ", "2026-02-30", "2026-13-01", "2026-12-01T24:00",
                          "2026-12-01T08:60", "26-12-01", "2026-12-01X", "1e3s", "yesterday",
                          "9999999999999999999d", "2026-12-01T08:00:00+01:00"}) {
    EXPECT_THROW(cli::ParseSince(bad, now), Error) << bad;
  }
}

TEST_F(Serve, JsonEndpointShowsTheRegisterGroupedByModule) {
  SeedRegister();
  StartServer();
  auto res = Http(port(), "GET", "/api/online");
  ASSERT_TRUE(res) << server_->Err();
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->Header("content-type"), "application/json; charset=utf-8");
  EXPECT_EQ(res->Header("cache-control"), "no-store");
  // Grouping and order are the snapshot's (checked in the presence suite); here the wiring.
  const std::string& body = res->body;
  EXPECT_EQ(body.rfind("{\"serverTime\": \"", 0), 0u) << body;
  EXPECT_THAT(body, HasSubstr("{\"module\": \"Sales\", \"records\": [{\"id\": 2, "
                              "\"workstation\": \"PC-1\", \"time\": \"2026-3-7 9:06:00\", "
                              "\"timeIso\": \"2026-03-07T09:06:00\", \"ageSeconds\": "));
  EXPECT_THAT(body, HasSubstr("\\u003cscript\\u003e"));
  EXPECT_THAT(body, HasSubstr("\"damaged\": 1, \"unreadable\": 1}"));
  EXPECT_THAT(body, Not(HasSubstr("<")));

  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0) << server_->Err();
}

TEST_F(Serve, ReadOnlyAndOnlyForItsOwnNames) {
  StartServer({"--host-name", "Board.Example"});
  auto page = Http(port(), "GET", "/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->Header("content-type"), "text/html; charset=utf-8");
  EXPECT_THAT(page->Header("content-security-policy"), HasSubstr("default-src 'none'"));
  EXPECT_EQ(page->Header("x-frame-options"), "DENY");
  EXPECT_THAT(page->body, HasSubstr("fetch('/api/online'"));
  auto head = Http(port(), "HEAD", "/");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->body, "");
  EXPECT_EQ(Http(port(), "GET", "/nothing-here")->status, 404);
  auto metrics = Http(port(), "GET", "/metrics");
  ASSERT_TRUE(metrics);
  EXPECT_EQ(metrics->status, 200);
  EXPECT_EQ(metrics->Header("content-type"), "text/plain; version=0.0.4; charset=utf-8");
  EXPECT_EQ(metrics->Header("x-content-type-options"), "nosniff");
  EXPECT_THAT(metrics->body, HasSubstr("webquorrel_scans_total 1\n"));
  EXPECT_EQ(Http(port(), "GET", "/metrics", "rebind.attacker.example")->status, 421);
  EXPECT_EQ(Http(port(), "POST", "/metrics", {}, "x")->status, 405);

  for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
    auto res = Http(port(), method, "/api/online", {}, "x");
    ASSERT_TRUE(res) << method;
    EXPECT_EQ(res->status, 405) << method;
    EXPECT_EQ(res->Header("allow"), "GET, HEAD") << method;
  }

  // A page of another site that points its own name at 127.0.0.1 gets nothing.
  const std::string p = ":" + std::to_string(port());
  for (const std::string& host :
       std::vector<std::string>{"rebind.attacker.example" + p, "127.0.0.1", ""}) {
    const int fd = ConnectLoopback(port());  // also a request without any Host header
    const std::string request = "GET /api/online HTTP/1.1\r\n" +
                                (host.empty() ? "" : "Host: " + host + "\r\n") +
                                "Connection: close\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[4096] = {};
    const ssize_t n = recv(fd, buffer, sizeof buffer - 1, MSG_WAITALL);
    close(fd);
    EXPECT_GT(n, 0) << host;
    const std::string answer(buffer);
    EXPECT_EQ(answer.rfind("HTTP/1.", 0), 0u) << host;
    EXPECT_THAT(answer, Not(HasSubstr(" 200 "))) << host;
    EXPECT_THAT(answer, Not(HasSubstr("modules"))) << host;
  }
  for (const std::string& host : {"localhost" + p, "board.example" + p}) {
    EXPECT_EQ(Http(port(), "GET", "/api/online", host)->status, 200) << host;
  }
  EXPECT_THAT(server_->Err(), HasSubstr("127.0.0.1 GET /metrics 200\n"));

  server_->Signal(SIGINT);
  EXPECT_EQ(server_->WaitExit(), 0) << server_->Err();
  EXPECT_EQ(server_->Out().substr(server_->Out().size() - 8), "stopped\n");
}

TEST_F(Serve, DatabaseFailuresAreLoggedNotShownAndItRecovers) {
  std::filesystem::rename(dir_ / "db", dir_ / "away");
  StartServer();
  auto res = Http(port(), "GET", "/api/online");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 503);
  EXPECT_EQ(res->body, "{\"error\": \"the register cannot be read; the server's log says why\"}\n");
  EXPECT_TRUE(WaitFor([&] {
    return server_->Err().find("cannot read the register: ") != std::string::npos;
  })) << server_->Err();

  std::filesystem::rename(dir_ / "away", dir_ / "db");
  res = Http(port(), "GET", "/api/online");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200) << res->body;

  // Every request is logged, one line each; what the client sent cannot forge a line.
  EXPECT_EQ(Http(port(), "GET", "/x%0a127.0.0.1%20GET%20/forged%20200%1b[2J")->status, 404);
  EXPECT_TRUE(WaitFor([&] { return server_->Err().find(" 404\n") != std::string::npos; }));
  EXPECT_THAT(server_->Err(), HasSubstr("127.0.0.1 GET /api/online 503\n"));
  EXPECT_THAT(server_->Err(), HasSubstr("127.0.0.1 GET /api/online 200\n"));
  EXPECT_THAT(server_->Err(), HasSubstr("127.0.0.1 GET /x?127.0.0.1 GET /forged 200?[2J 404\n"));
  EXPECT_EQ(server_->Poll(), std::nullopt);
}

// sample records the online workstations per module; history prints them with the day's peak;
// the page charts them. Samplers killed at any moment leave a sound history behind.
TEST_F(Serve, SampleHistoryAndAKilledSampler) {
  StartServer();
  EXPECT_THAT(Http(port(), "GET", "/")->body, HasSubstr("No history recorded yet"));
  EXPECT_EQ(Run({"history", "--json"}).out, "{\"samples\": [], \"peaks\": []}\n");

  SeedRegister();
  ASSERT_EQ(Run({"sample"}).status, 0);
  const auto history = Run({"history", "--json", "--module", "Sales"});
  ASSERT_EQ(history.status, 0) << history.err;
  EXPECT_THAT(history.out, HasSubstr("\"modules\": [{\"module\": \"Sales\", \"online\": 2, "));
  EXPECT_THAT(history.out, HasSubstr("\"peaks\": [{\"day\": \""));
  EXPECT_THAT(history.out, Not(HasSubstr("Inventory")));
  EXPECT_THAT(Run({"history", "--csv"}).out, HasSubstr(",Inventory,1\r\n"));
  const std::string page = Http(port(), "GET", "/")->body;
  EXPECT_THAT(page, HasSubstr("<g class=\"peak\" data-module=\"Sales\" data-online=\"2\""));
  EXPECT_THAT(page, HasSubstr("data-module=\"&lt;script&gt;document.body.dataset.pwned=2&lt;"));
  EXPECT_THAT(page, Not(HasSubstr("<script>document")));

  for (int i = 0; i < 40; ++i) {
    ChildProcess sampler({"sample"}, Env("PC-S"), dir_ / "sampler");
    std::this_thread::sleep_for(std::chrono::microseconds(500 * i));
    sampler.Signal(SIGKILL);
    sampler.Wait();
  }
  const auto after = Run({"history", "--json"});
  EXPECT_EQ(after.status, 0) << after.err;
  EXPECT_THAT(after.out, HasSubstr("\"module\": \"Sales\", \"peak\": 2, "));
  EXPECT_EQ(Run({"sample"}).status, 0);
  EXPECT_EQ(Run({"history", "--since", "soon"}).status, 2);
}

// The attack itself: 64 connections that say nothing and one that streams header lines without
// end, all at once. A normal request is still answered at once, and the server stays small.
TEST_F(Serve, HoldsAgainstIdleConnectionsAndEndlessHeaders) {
  StartServer();
  std::vector<int> idle;
  for (int i = 0; i < 64; ++i) idle.push_back(ConnectLoopback(port()));
  std::atomic<bool> attacking{true};
  std::atomic<long> streamed{0};
  std::thread streamer([&] {
    const std::string line = "X-Filler: " + std::string(1000, 'a') + "\r\n";
    while (attacking) {  // again whenever the server drops the connection
      const int fd = ConnectLoopback(port());
      const std::string start = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
      send(fd, start.data(), start.size(), MSG_NOSIGNAL);
      while (attacking && send(fd, line.data(), line.size(), MSG_NOSIGNAL) > 0) {
        streamed += static_cast<long>(line.size());
      }
      close(fd);
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto start = std::chrono::steady_clock::now();
  auto res = Http(port(), "GET", "/api/online");
  const auto took = std::chrono::steady_clock::now() - start;
  attacking = false;
  streamer.join();
  for (int fd : idle) {
    EXPECT_GE(fd, 0);
    close(fd);
  }
  ASSERT_TRUE(res) << server_->Err();
  EXPECT_EQ(res->status, 200);
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_GT(streamed.load(), 16 * 1024);  // the stream did reach the server
  // Each refused header stream is a message, but they do not flood the log.
  const std::string err = server_->Err();
  EXPECT_LT(std::count(err.begin(), err.end(), '\n'), 60) << err.substr(0, 2000);
  // The peak says nothing under AddressSanitizer, which keeps freed memory in quarantine.
#if !defined(__SANITIZE_ADDRESS__)
  const std::string status = ReadFile("/proc/" + std::to_string(server_->pid()) + "/status");
  const size_t at = status.find("VmHWM:");
  ASSERT_NE(at, std::string::npos);
  EXPECT_LT(std::stol(status.substr(at + 6)), 64 * 1024) << "peak resident kB";
#endif
  EXPECT_EQ(server_->Poll(), std::nullopt);
}

// Every local user can read a process's arguments: the connection string is gone from them
// once the server runs.
TEST_F(Serve, ConnectionStringIsNotLeftInTheArguments) {
  StartServer({"--conn", Conn()});
  ChildProcess second({"serve", "--listen", "127.0.0.1:0", "--conn=" + Conn()}, Env("PC-2"),
                      dir_ / "second");
  ASSERT_TRUE(WaitFor([&] { return second.Out().find("/\n") != std::string::npos; }));
  for (const pid_t pid : {server_->pid(), second.pid()}) {
    const std::string cmdline = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
    EXPECT_EQ(cmdline.find(DbFile().string()), std::string::npos) << cmdline;
    EXPECT_EQ(cmdline.find("Provider"), std::string::npos) << cmdline;
    EXPECT_THAT(cmdline, ::testing::AnyOf(HasSubstr(std::string("--conn\0***\0", 12)),
                                          HasSubstr(std::string("--conn=***\0", 11))));
  }
  EXPECT_EQ(Http(port(), "GET", "/api/online")->status, 200);
}

TEST_F(Serve, OtherMachinesOnlyWhenAskedAndWithAWarning) {
  CommandResult r = Run({"serve", "--listen", "0.0.0.0:0"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("--allow-remote"));
  ChildProcess open({"serve", "--listen", "0.0.0.0:0", "--allow-remote"}, Env("PC-SERVE"),
                    dir_ / "open");
  ASSERT_TRUE(WaitFor([&] { return open.Out().find("/\n") != std::string::npos; })) << open.Err();
  EXPECT_THAT(open.Err(), HasSubstr("warning: listening on 0.0.0.0:"));
  const int openPort = std::stoi(open.Out().substr(open.Out().rfind(':') + 1));
  EXPECT_EQ(Http(openPort, "GET", "/api/online")->status, 200);
  EXPECT_EQ(Http(openPort, "GET", "/api/online", "rebind.attacker.example")->status, 421);
}

TEST_F(Serve, RefusesAnAddressItCannotUse) {
  CommandResult r = Run({"serve", "--listen", "localhost"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("webquorrel serve: "));
  r = Run({"serve", "--listen", "127.0.0.1:0", "--stale-after", "10 minutes"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("webquorrel serve: "));
  StartServer();
  ChildProcess second({"serve", "--listen", "127.0.0.1:" + std::to_string(port())}, Env("PC-2"),
                      dir_ / "second");
  EXPECT_EQ(second.WaitExit(), 2) << "a second server must not share the port";
  EXPECT_THAT(second.Err(), HasSubstr("port " + std::to_string(port()) +
                                      " on 127.0.0.1 is in use by another program"));
}

}  // namespace
}  // namespace wq::testing

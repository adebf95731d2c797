// The web server as a process, through its JSON endpoint and plain HTTP, and the pieces it is
// built from: the listen address, the Host check, the JSON text, the metrics text and the
// history that the page charts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

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

TEST(ListenAddress, LoopbackAndTheHostHeadersItAnswers) {
  for (const char* host : {"127.0.0.1", "127.8.9.10", "::1", "localhost", "LocalHost"}) {
    EXPECT_TRUE(cli::IsLoopback(host)) << host;
  }
  for (const char* host : {"0.0.0.0", "::", "10.0.0.1", "128.0.0.1", "localhost.example"}) {
    EXPECT_FALSE(cli::IsLoopback(host)) << host;
  }
  for (const char* header : {"127.0.0.1:8750", "localhost:8750", "LOCALHOST:8750", "[::1]:8750"}) {
    EXPECT_TRUE(cli::IsLoopbackHostHeader(header, 8750)) << header;
  }
  EXPECT_TRUE(cli::IsLoopbackHostHeader("localhost", 80));
  for (const char* header :
       {"", "evil.example:8750", "127.0.0.1:8751", "127.0.0.1", "127.0.0.1.evil.example:8750",
        "[::ffff:7f00:1]:8750", "::1:8750", "localhost:8750:8750"}) {
    EXPECT_FALSE(cli::IsLoopbackHostHeader(header, 8750)) << header;
  }
}

TEST(OnlineJson, StoredTextsCannotBreakOutOfStringsOrReadAsHtml) {
  presence::OnlineSnapshot s;
  s.serverTime = u"2026-3-7 9:05:02";
  presence::OnlineEntry e;
  e.row.number = 7;
  e.row.workstation = u"</script><b>\"PC\\\n";
  e.row.time = u"2026-3-7 9:00:00";
  e.row.login = true;
  e.ageSeconds = 302;
  presence::OnlineEntry noAge = e;
  noAge.row.number.reset();
  noAge.ageSeconds.reset();
  s.modules.push_back({u"A&B\u2028", {e, noAge}});
  s.damaged = 2;
  const std::string json = cli::OnlineJson(s);
  EXPECT_EQ(json,
            "{\"serverTime\": \"2026-3-7 9:05:02\", \"modules\": [{\"module\": "
            "\"A\\u0026B\\u2028\", \"records\": [{\"id\": 7, \"workstation\": "
            "\"\\u003c/script\\u003e\\u003cb\\u003e\\\"PC\\\\\\n\", \"time\": \"2026-3-7 "
            "9:00:00\", \"ageSeconds\": 302, \"login\": true}, {\"id\": null, \"workstation\": "
            "\"\\u003c/script\\u003e\\u003cb\\u003e\\\"PC\\\\\\n\", \"time\": \"2026-3-7 "
            "9:00:00\", \"ageSeconds\": null, \"login\": true}]}], \"damaged\": 2, "
            "\"unreadable\": 0}\n");
  EXPECT_EQ(cli::ErrorJson("no <table>"), "{\"error\": \"no \\u003ctable\\u003e\"}\n");
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
  httplib::Client client("127.0.0.1", port());
  auto res = client.Get("/api/online");
  ASSERT_TRUE(res) << server_->Err();
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(res->get_header_value("Cache-Control"), "no-store");
  // Grouping and order are the snapshot's (checked in the presence suite); here the wiring.
  const std::string& body = res->body;
  EXPECT_EQ(body.rfind("{\"serverTime\": \"", 0), 0u) << body;
  EXPECT_THAT(body, HasSubstr("{\"module\": \"Sales\", \"records\": [{\"id\": 2, "
                              "\"workstation\": \"PC-1\", \"time\": \"2026-3-7 9:06:00\", "
                              "\"ageSeconds\": "));
  EXPECT_THAT(body, HasSubstr("\\u003cscript\\u003e"));
  EXPECT_THAT(body, HasSubstr("\"damaged\": 1, \"unreadable\": 1}"));
  EXPECT_THAT(body, Not(HasSubstr("<")));

  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0) << server_->Err();
}

TEST_F(Serve, ReadOnlyAndLoopbackOnly) {
  StartServer();
  httplib::Client client("127.0.0.1", port());
  auto page = client.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_THAT(page->get_header_value("Content-Security-Policy"), HasSubstr("default-src 'none'"));
  EXPECT_THAT(page->body, HasSubstr("fetch('/api/online'"));
  EXPECT_EQ(client.Head("/")->status, 200);
  EXPECT_EQ(client.Get("/nothing-here")->status, 404);

  const auto checkRefused = [](const httplib::Result& res, const char* method) {
    ASSERT_TRUE(res) << method;
    EXPECT_EQ(res->status, 405) << method;
    EXPECT_EQ(res->get_header_value("Allow"), "GET, HEAD") << method;
  };
  checkRefused(client.Post("/api/online", "x", "text/plain"), "POST");
  checkRefused(client.Put("/", "x", "text/plain"), "PUT");
  checkRefused(client.Delete("/api/online"), "DELETE");
  checkRefused(client.Patch("/", "x", "text/plain"), "PATCH");
  checkRefused(client.Options("/"), "OPTIONS");

  // A page of another site that points its own name at 127.0.0.1 gets nothing.
  auto rebound = client.Get("/api/online", {{"Host", "evil.example:" + std::to_string(port())}});
  ASSERT_TRUE(rebound);
  EXPECT_EQ(rebound->status, 421);
  EXPECT_EQ(rebound->body.find("modules"), std::string::npos);
  auto named = client.Get("/api/online", {{"Host", "localhost:" + std::to_string(port())}});
  EXPECT_EQ(named->status, 200);

  server_->Signal(SIGINT);
  EXPECT_EQ(server_->WaitExit(), 0) << server_->Err();
  EXPECT_EQ(server_->Out().substr(server_->Out().size() - 8), "stopped\n");
}

TEST_F(Serve, ReportsAnUnreachableDatabaseAndRecovers) {
  std::filesystem::rename(dir_ / "db", dir_ / "away");
  StartServer();
  httplib::Client client("127.0.0.1", port());
  auto res = client.Get("/api/online");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 503);
  EXPECT_EQ(res->body.rfind("{\"error\": \"", 0), 0u) << res->body;

  std::filesystem::rename(dir_ / "away", dir_ / "db");
  res = client.Get("/api/online");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200) << res->body;
  EXPECT_EQ(server_->Poll(), std::nullopt);
}

// sample records the online workstations per module; history prints them with the day's peak;
// the page charts them. Samplers killed at any moment leave a sound history behind.
TEST_F(Serve, SampleHistoryAndAKilledSampler) {
  StartServer();
  httplib::Client client("127.0.0.1", port());
  EXPECT_THAT(client.Get("/")->body, HasSubstr("No history recorded yet"));
  EXPECT_EQ(Run({"history", "--json"}).out, "{\"samples\": [], \"peaks\": []}\n");

  SeedRegister();
  ASSERT_EQ(Run({"sample"}).status, 0);
  const auto history = Run({"history", "--json", "--module", "Sales"});
  ASSERT_EQ(history.status, 0) << history.err;
  EXPECT_THAT(history.out, HasSubstr("\"modules\": [{\"module\": \"Sales\", \"online\": 2, "));
  EXPECT_THAT(history.out, HasSubstr("\"peaks\": [{\"day\": \""));
  EXPECT_THAT(history.out, Not(HasSubstr("Inventory")));
  EXPECT_THAT(Run({"history", "--csv"}).out, HasSubstr(",Inventory,1\r\n"));
  const std::string page = client.Get("/")->body;
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

TEST_F(Serve, RefusesAnAddressItCannotUse) {
  CommandResult r = Run({"serve", "--listen", "localhost"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("webquorrel serve: "));
  StartServer();
  ChildProcess second({"serve", "--listen", "127.0.0.1:" + std::to_string(port())}, Env("PC-2"),
                      dir_ / "second");
  EXPECT_EQ(second.WaitExit(), 2) << "a second server must not share the port";
  EXPECT_THAT(second.Err(), HasSubstr("cannot listen on 127.0.0.1:"));
}

}  // namespace
}  // namespace wq::testing

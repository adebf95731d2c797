// The web server as a process, through its JSON endpoint and plain HTTP, and the pieces it is
// built from: the listen address, the Host check and the JSON text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include "cli/listen_address.h"
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
}

TEST(TerminalText, ControlsAndDirectionOverridesBecomeQuestionMarks) {
  EXPECT_EQ(cli::Printable(u"PC-1 Ä 計"), "PC-1 Ä 計");
  EXPECT_EQ(cli::Printable(u"a\nb\rc\x1b[2J\x7f\u0085\u2028\u202e\u2066"), "a?b?c?[2J?????");
  EXPECT_EQ(cli::QuotedPrintable(u"\t"), "\"?\"");
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
                              "\"timeIso\": \"2026-03-07T09:06:00\", \"ageSeconds\": "));
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

TEST_F(Serve, RefusesAnAddressItCannotUse) {
  CommandResult r = Run({"serve", "--listen", "localhost"});
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

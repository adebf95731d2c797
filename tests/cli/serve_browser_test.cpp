// The server as programs of others see it: headless Chromium loads the page, lets its script
// fetch the register, and dumps the resulting document; Prometheus scrapes the metrics.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "cli/history_store.h"
#include "tests/cli/serve_fixture.h"

namespace wq::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

std::string ShellQuote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Browser() {
  const char* env = std::getenv("WEBQUORREL_CHROMIUM");
  if (env != nullptr && *env != '\0') return env;
  for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return {};
}

// The document after the page's script has had five seconds of virtual time.
std::string RenderedDom(const std::string& browser, const std::string& url,
                        const std::filesystem::path& profile) {
  const std::string command =
      ShellQuote(browser) +
      " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
      " --disable-background-networking --disable-component-update --disable-sync"
      " --user-data-dir=" +
      ShellQuote(profile.string()) + " --virtual-time-budget=5000 --dump-dom " + ShellQuote(url) +
      " 2>/dev/null";
  std::string dom;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) dom.append(buffer, n);
    pclose(pipe);
  }
  return dom;
}

// (module as the data attribute holds it, workstations in order) for each section of the page.
std::vector<std::string> Sections(const std::string& dom) {
  std::vector<std::string> out;
  const std::regex section(
      R"re(<section class="module" data-module="([^"]*)">([\s\S]*?)</section>)re");
  const std::regex workstation(R"re(<td class="workstation">([^<]*)</td>)re");
  for (auto s = std::sregex_iterator(dom.begin(), dom.end(), section); s != std::sregex_iterator();
       ++s) {
    std::string line = (*s)[1].str() + ":";
    const std::string body = (*s)[2].str();
    for (auto w = std::sregex_iterator(body.begin(), body.end(), workstation);
         w != std::sregex_iterator(); ++w) {
      line += " " + (*w)[1].str();
    }
    out.push_back(line);
  }
  return out;
}

TEST_F(Serve, BrowserShowsWorkstationsGroupedByModuleAndNoMarkupFromNames) {
  const std::string browser = Browser();
  if (browser.empty()) GTEST_SKIP() << "no Chromium here (set WEBQUORREL_CHROMIUM)";
  SeedRegister();
  AddRecord("PC-5,2026-3-7 9:00:00", "");
  StartServer({"--stale-after", "10m"});

  const std::string dom = RenderedDom(browser, Url(), dir_ / "profile");
  ASSERT_THAT(dom, HasSubstr("<h1>Who is online</h1>"));
  EXPECT_THAT(Sections(dom),
              ElementsAre(": PC-5",
                          "&lt;script&gt;document.body.dataset.pwned=2&lt;/script&gt;: "
                          "&lt;img src=x onerror=\"document.body.dataset.pwned=1\"&gt;",
                          "Inventory: PC-3", "Sales: PC-1 PC-2"));
  EXPECT_THAT(dom,
              HasSubstr("<h2>&lt;script&gt;document.body.dataset.pwned=2&lt;/script&gt;</h2>"));
  EXPECT_THAT(dom, HasSubstr("<h2 class=\"unnamed\">(no module)</h2>"));
  EXPECT_THAT(dom, HasSubstr("5 workstations online, server time "));
  // One summary line with each module's count, in the order of the sections.
  EXPECT_THAT(dom, HasSubstr("<div id=\"summary\">(no module) 1 \u00b7 "
                             "&lt;script&gt;document.body.dataset.pwned=2&lt;/script&gt; 1 \u00b7 "
                             "Inventory 1 \u00b7 Sales 2</div>"));
  EXPECT_THAT(dom, HasSubstr("Not shown: 1 damaged, 1 unreadable"));
  EXPECT_THAT(dom,
              HasSubstr("<td class=\"login\">yes</td><td class=\"time\">2026-3-7 9:06:00</td>"));
  // Records older than the prune limit are marked (the seeded ones are months old).
  EXPECT_THAT(dom, HasSubstr("<tr class=\"record stale\"><td class=\"workstation\">PC-1</td>"));
  EXPECT_THAT(dom, HasSubstr(" d (stale)</td>"));
  // Neither name ran as script or became an element.
  EXPECT_THAT(dom, Not(HasSubstr("data-pwned")));
  EXPECT_THAT(dom, Not(HasSubstr("<img")));
}

// module -> "peak at time" as the 24-hour chart of the rendered page marks it.
std::map<std::string, std::string> ChartPeaks(const std::string& dom) {
  std::map<std::string, std::string> out;
  const size_t day = dom.find("<figure id=\"history-day\">");
  const std::string figure = dom.substr(day, dom.find("</figure>", day) - day);
  const std::regex peak(
      R"re(<g class="peak" data-module="([^"]*)" data-online="([0-9]+)" data-time="([^"]+)">)re");
  for (auto p = std::sregex_iterator(figure.begin(), figure.end(), peak);
       p != std::sregex_iterator(); ++p) {
    out[(*p)[1].str()] = (*p)[2].str() + " at " + (*p)[3].str();
  }
  return out;
}

// A day of history of two modules: the page charts it, and the peak it marks for each module is
// the highest of the days' peaks that `history --json` prints.
TEST_F(Serve, BrowserChartsADayOfHistoryWithThePeaksHistoryPrints) {
  const std::string browser = Browser();
  if (browser.empty()) GTEST_SKIP() << "no Chromium here (set WEBQUORREL_CHROMIUM)";
  {
    auto store =
        cli::HistoryStore::Open((dir_ / "data" / "webquorrel" / "history.db").string(), true);
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    for (int64_t t = now - 86400 + 300; t <= now; t += 300) {
      const int64_t step = (now - t) / 300;  // 0 .. 286, newest first
      store->Record(t,
                    {{u"Inventory", 1 + step % 3, 0}, {u"Sales", step == 100 ? 9 : step % 7, 0}});
    }
  }
  SeedRegister();
  StartServer();

  const auto history = Run({"history", "--json"});
  ASSERT_EQ(history.status, 0) << history.err;
  std::map<std::string, std::pair<int64_t, std::string>> expected;
  const auto printed = nlohmann::json::parse(history.out);
  for (const auto& p : printed["peaks"]) {
    auto& e = expected[p["module"].get<std::string>()];
    if (p["peak"].get<int64_t>() > e.first) e = {p["peak"].get<int64_t>(), p["time"]};
  }
  ASSERT_EQ(expected.size(), 2u) << history.out.substr(0, 2000);
  EXPECT_EQ(expected["Sales"].first, 9);

  const std::string dom = RenderedDom(browser, Url(), dir_ / "profile");
  const auto marked = ChartPeaks(dom);
  ASSERT_EQ(marked.size(), 2u) << dom.substr(0, 4000);
  for (const auto& [module, e] : expected) {
    EXPECT_EQ(marked.at(module), std::to_string(e.first) + " at " + e.second) << module;
  }
  EXPECT_THAT(dom, HasSubstr("Sales peak 9 at " + expected["Sales"].second));

  const auto shot = dir_ / "page.png";
  const std::string command = ShellQuote(browser) +
                              " --headless --no-sandbox --disable-gpu --no-first-run"
                              " --user-data-dir=" +
                              ShellQuote((dir_ / "profile").string()) +
                              " --window-size=900,1200 --virtual-time-budget=3000 --screenshot=" +
                              ShellQuote(shot.string()) + " " + ShellQuote(Url()) +
                              " >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_GT(std::filesystem::exists(shot) ? std::filesystem::file_size(shot) : 0, 10000u);
  if (const char* keep = std::getenv("WEBQUORREL_SCREENSHOT"))
    std::filesystem::copy_file(shot, keep, std::filesystem::copy_options::overwrite_existing);
}

int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  close(s);
  return ntohs(a.sin_port);
}

// Debian's Prometheus scrapes the server every second; its query API then holds the counts.
TEST_F(Serve, PrometheusScrapesTheMetrics) {
  if (access("/usr/bin/prometheus", X_OK) != 0 || access("/usr/bin/promtool", X_OK) != 0) {
    GTEST_SKIP() << "no prometheus here (scripts/packages/test.txt)";
  }
  SeedRegister();
  StartServer({"--scan-interval", "1"});
  auto metrics = Http(port(), "GET", "/metrics");
  ASSERT_TRUE(metrics);
  EXPECT_EQ(metrics->Header("content-type"), "text/plain; version=0.0.4; charset=utf-8");
  { std::ofstream(dir_ / "metrics.txt") << metrics->body; }
  const std::string promtool =
      "/usr/bin/promtool check metrics < " + (dir_ / "metrics.txt").string();
  ChildProcess lint({"-c", promtool}, {}, dir_ / "lint", "/bin/sh");
  EXPECT_EQ(lint.WaitExit(), 0) << lint.Out() << lint.Err();
  EXPECT_EQ(lint.Out() + lint.Err(), "") << metrics->body;

  const int promPort = FreePort();
  std::ofstream(dir_ / "prometheus.yml")
      << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\nscrape_configs:\n"
         "  - job_name: webquorrel\n    static_configs:\n      - targets: ['127.0.0.1:"
      << port() << "']\n";
  ChildProcess prometheus({"--config.file=" + (dir_ / "prometheus.yml").string(),
                           "--storage.tsdb.path=" + (dir_ / "tsdb").string(),
                           "--web.listen-address=127.0.0.1:" + std::to_string(promPort)},
                          {}, dir_ / "prometheus", "/usr/bin/prometheus");
  std::map<std::string, std::string> online;
  EXPECT_TRUE(WaitFor(
      [&] {
        auto res = Http(promPort, "GET", "/api/v1/query?query=webquorrel_online_workstations");
        if (!res || res->status != 200) return false;
        const auto doc = nlohmann::json::parse(res->body, nullptr, false);
        if (doc.is_discarded() || !doc.contains("data")) return false;
        online.clear();
        for (const auto& r : doc["data"]["result"]) {
          online[r["metric"]["module"].get<std::string>()] = r["value"][1].get<std::string>();
        }
        return online.size() == 3;
      },
      std::chrono::seconds(60)))
      << prometheus.Err().substr(0, 3000);
  EXPECT_EQ(online["Sales"], "2");
  EXPECT_EQ(online["Inventory"], "1");
  EXPECT_EQ(online["<script>document.body.dataset.pwned=2</script>"], "1");
  auto damaged = Http(promPort, "GET", "/api/v1/query?query=webquorrel_damaged_records");
  ASSERT_TRUE(damaged);
  EXPECT_THAT(damaged->body, HasSubstr("\"1\"]"));
}

}  // namespace
}  // namespace wq::testing

// The web page as a browser renders it: headless Chromium loads it, lets its script fetch the
// register, and dumps the resulting document.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

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

}  // namespace
}  // namespace wq::testing

#include "cli/history_chart.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "cli/history_report.h"
#include "cli/terminal_text.h"

namespace wq::cli {
namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 180;
constexpr int kLeft = 40;
constexpr int kRight = 10;
constexpr int kTop = 10;
constexpr int kBottom = 24;
constexpr const char* kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                                    "#ff7f0e", "#8c564b", "#e377c2", "#17becf"};

constexpr char kHowToRecord[] =
    "<p id=\"history-empty\">No history recorded yet. Record who is online every minute with "
    "<code>webquorrel sample</code>: on Linux <code>systemctl enable --now "
    "webquorrel-sample.timer</code>, on Windows a scheduled task (<code>schtasks /Create /SC "
    "MINUTE /TN webquorrel-sample /TR \"webquorrel.exe sample\"</code>).</p>\n";

std::string Number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", v);
  return buffer;
}

// The samples of one span, each module's count per point; a module missing from a sample had
// nobody online then. Over 30 days, each hour's highest count stands for it.
struct Series {
  std::vector<std::pair<int64_t, int64_t>> points;  // (time, online)
};

std::map<Text, Series> SeriesOf(const std::vector<HistorySample>& samples,
                                const std::vector<Text>& modules, int64_t from, int64_t bucket) {
  std::map<int64_t, std::map<Text, int64_t>> buckets;
  for (const HistorySample& s : samples) {
    if (s.taken < from) continue;
    auto& b = buckets[s.taken - s.taken % bucket];
    for (const Text& m : modules) b.try_emplace(m, 0);
    for (const ModuleOnline& m : s.modules) b[m.module] = std::max(b[m.module], m.online);
  }
  std::map<Text, Series> out;
  for (const auto& [t, counts] : buckets) {
    for (const auto& [m, n] : counts) out[m].points.emplace_back(t, n);
  }
  return out;
}

std::string Panel(const std::vector<HistorySample>& all, const std::vector<Text>& modules,
                  int64_t now, int64_t span, int64_t bucket, const char* id, const char* title) {
  const int64_t from = now - span;
  std::vector<HistorySample> inSpan;
  for (const HistorySample& s : all) {
    if (s.taken >= from - (s.hour ? 3599 : 0)) inSpan.push_back(s);
  }
  const std::vector<ModuleOnline> peaks = Peaks(inSpan);
  int64_t top = 1;
  for (const ModuleOnline& p : peaks) top = std::max(top, p.online);
  const double plotW = kWidth - kLeft - kRight;
  const double plotH = kHeight - kTop - kBottom;
  auto x = [&](int64_t t) {
    return kLeft + plotW * static_cast<double>(std::clamp(t, from, now) - from) / span;
  };
  auto y = [&](int64_t n) { return kTop + plotH * (1.0 - static_cast<double>(n) / top); };

  std::string svg = "<figure id=\"" + std::string(id) + "\"><figcaption>" + title +
                    "</figcaption>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    std::to_string(kWidth) + "\" height=\"" + std::to_string(kHeight) +
                    "\" viewBox=\"0 0 " + std::to_string(kWidth) + " " + std::to_string(kHeight) +
                    "\" role=\"img\" aria-label=\"" + title + "\">\n";
  // Axes: the count on the left, the span's ends below.
  svg += "<line x1=\"" + std::to_string(kLeft) + "\" y1=\"" + Number(y(0)) + "\" x2=\"" +
         std::to_string(kWidth - kRight) + "\" y2=\"" + Number(y(0)) + "\" stroke=\"#888\"/>\n";
  svg += "<line x1=\"" + std::to_string(kLeft) + "\" y1=\"" + std::to_string(kTop) + "\" x2=\"" +
         std::to_string(kLeft) + "\" y2=\"" + Number(y(0)) + "\" stroke=\"#888\"/>\n";
  svg += "<text x=\"" + std::to_string(kLeft - 4) + "\" y=\"" + Number(y(top) + 4) +
         "\" text-anchor=\"end\" font-size=\"11\">" + std::to_string(top) + "</text>\n";
  svg += "<text x=\"" + std::to_string(kLeft - 4) + "\" y=\"" + Number(y(0)) +
         "\" text-anchor=\"end\" font-size=\"11\">0</text>\n";
  svg += "<text x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(kHeight - 6) +
         "\" font-size=\"11\">" + UtcTimeText(from) + "</text>\n";
  svg += "<text x=\"" + std::to_string(kWidth - kRight) + "\" y=\"" + std::to_string(kHeight - 6) +
         "\" text-anchor=\"end\" font-size=\"11\">" + UtcTimeText(now) + "</text>\n";

  const std::map<Text, Series> series = SeriesOf(inSpan, modules, from, bucket);
  for (size_t i = 0; i < modules.size(); ++i) {
    const char* colour = kColours[i % std::size(kColours)];
    const std::string name = HtmlEscape(Printable(modules[i]));
    auto it = series.find(modules[i]);
    if (it != series.end() && !it->second.points.empty()) {
      svg += "<polyline class=\"series\" data-module=\"" + name + "\" fill=\"none\" stroke=\"" +
             colour + "\" stroke-width=\"1.5\" points=\"";
      for (const auto& [t, n] : it->second.points) svg += Number(x(t)) + "," + Number(y(n)) + " ";
      svg += "\"/>\n";
    }
    for (const ModuleOnline& p : peaks) {
      if (p.module != modules[i]) continue;
      const std::string when = UtcTimeText(p.at);
      const std::string label = (name.empty() ? std::string("(no module)") : name) + " peak " +
                                std::to_string(p.online) + " at " + when;
      const double px = x(p.at);
      const bool right = px > kWidth / 2;  // the label goes where there is room
      svg += "<g class=\"peak\" data-module=\"" + name + "\" data-online=\"" +
             std::to_string(p.online) + "\" data-time=\"" + when + "\"><circle cx=\"" + Number(px) +
             "\" cy=\"" + Number(y(p.online)) + "\" r=\"4\" fill=\"" + colour + "\"/><text x=\"" +
             Number(right ? px - 6 : px + 6) + "\" text-anchor=\"" + (right ? "end" : "start") +
             "\" y=\"" + Number(std::max(y(p.online) - 6, kTop + 10.0) + 12.0 * i) +
             "\" font-size=\"11\" fill=\"" + colour + "\">" + label + "</text></g>\n";
    }
  }
  return svg + "</svg></figure>\n";
}

}  // namespace

std::string HtmlEscape(const std::string& utf8) {
  std::string out;
  for (char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string HistoryChartHtml(const std::vector<HistorySample>* samples, int64_t now) {
  std::string out = "<section id=\"history\">\n<h2>Online over time</h2>\n";
  if (samples == nullptr || samples->empty()) return out + kHowToRecord + "</section>\n";
  std::vector<Text> modules;
  for (const ModuleOnline& m : Peaks(*samples)) modules.push_back(m.module);
  out += Panel(*samples, modules, now, 86400, 60, "history-day", "Last 24 hours (UTC)");
  out += Panel(*samples, modules, now, 30 * 86400, 3600, "history-month", "Last 30 days (UTC)");
  return out + "</section>\n";
}

std::string PageWithChart(std::string page, const std::string& chartHtml) {
  const std::string mark = "<!--history-->";
  if (const size_t at = page.find(mark); at != std::string::npos) {
    page.replace(at, mark.size(), chartHtml);
  }
  return page;
}

}  // namespace wq::cli

// The history of who was online: a small SQLite file of the command's own (never a table in the
// host's database) with one sample of the online workstations per module a minute for 30 days,
// then each hour's peak per module for two years.
//
// Every write is one statement, so a sampler stopped at any moment leaves the file as it was
// before or after that statement, and folding old minutes into hours is safe to repeat: an hour's
// row is the maximum of what it held and its minutes, written before the minutes are deleted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/text/text.h"

namespace wq::cli {

constexpr int64_t kMinuteSamplesKeptSeconds = 30 * 86400;
constexpr int64_t kHourPeaksKeptSeconds = 730 * 86400;

struct ModuleOnline {
  Text module;
  int64_t online = 0;
  int64_t at = 0;  // when this count was seen (Unix seconds): the sample's time, or the peak's
};

struct HistorySample {
  int64_t taken = 0;  // Unix seconds, a whole minute (or, for an hour's peaks, a whole hour)
  bool hour = false;  // an hour's peaks rather than one sample
  std::vector<ModuleOnline> modules;  // by module
};

// The history file's default place: beside the embedded database on Linux
// ($XDG_DATA_HOME/webquorrel/history.db), %LOCALAPPDATA%\webquorrel\history.db on Windows.
std::string DefaultHistoryPath();

class HistoryFile;  // history_file.h

class HistoryStore {
 public:
  // Opens the file, creating it (and its folder) when `create`; nullptr when it does not exist and
  // `create` is false.
  static std::unique_ptr<HistoryStore> Open(const std::string& path, bool create);
  ~HistoryStore();

  // Records the counts as the sample of the minute that `now` falls in (replacing one already
  // taken in that minute), then folds minutes older than 30 days into hours and drops hours older
  // than two years.
  void Record(int64_t now, const std::vector<ModuleOnline>& counts);

  // Samples and hours taken at or after `since`, oldest first.
  std::vector<HistorySample> Read(int64_t since);

 private:
  explicit HistoryStore(std::unique_ptr<HistoryFile> file);
  void Fold(int64_t now);
  std::unique_ptr<HistoryFile> file_;
};

}  // namespace wq::cli

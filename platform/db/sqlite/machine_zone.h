// The machine's time zone as its zone file (/etc/localtime, TZif format) says, read without the
// C library's local time, which follows the TZ of whichever process asks: every process that
// writes one embedded register stamps its records in the same zone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wq::db::sqlite {

class ZoneFile {
 public:
  // The zone of a TZif file (version 2 or later; the 64-bit part is read). nullopt when the
  // file is missing or not a zone file.
  static std::optional<ZoneFile> Read(const std::string& path);
  static std::optional<ZoneFile> Parse(std::string_view bytes);

  // Seconds the zone's local time is ahead of UTC at that instant of Unix time.
  int64_t OffsetAt(int64_t unixSeconds) const;

 private:
  std::vector<int64_t> transitions_;
  std::vector<int32_t> offsetAfter_;  // the offset from each transition on
  int32_t initial_ = 0;               // before the first transition
  std::string footer_;
};

// The reading of the machine's local clock now (the zone of /etc/localtime; UTC when it cannot
// be read).
struct MachineClock {
  static int64_t OffsetNow(int64_t unixSeconds);
};

// Offset of a POSIX TZ rule text such as "CET-1CEST,M3.5.0,M10.5.0/3" at that instant; nullopt
// when the text is not such a rule.
std::optional<int64_t> PosixRuleOffset(std::string_view rule, int64_t unixSeconds);

}  // namespace wq::db::sqlite

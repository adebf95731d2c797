// A stored ssOption value through unsealing and classification, in the double-byte code page
// CP936 unless WEBQUORREL_CODEPAGE names another. Byte 0 chooses: bit 0 how the rest is read
// (fuzz_input.h), bits 1-2 the value's kind (text, null, number, date), bit 3 whether the real
// update then runs over the row in a throw-away SQLite database. The own workstation is this
// machine's name, so a seed sealed with it is an own record.
#include <cstdlib>

#include "platform/db/register.h"
#include "platform/error.h"
#include "presence/module_state.h"
#include "presence/record.h"
#include "presence/update.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/scratch_database.h"

namespace {

wq::Text Upper(wq::TextView text) {
  wq::Text out(text);
  for (char16_t& c : out) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("WEBQUORREL_CODEPAGE", "CP936", 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace wq;
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const Text text = fuzz::AnyText(data, size);
  db::Value value;
  switch ((mode >> 1) & 3) {
    case 0:
      value = db::Value(text);
      break;
    case 1:
      value = db::Value(db::Null{});
      break;
    case 2:
      value = db::Value(int64_t{static_cast<int64_t>(text.size()) - 3});
      break;
    default:
      value = db::Value(db::DateTime{2026, 3, 7, 9, 5, 2});
      break;
  }
  const Text& workstation = presence::WorkstationName();
  presence::RecordReader reader;
  presence::RecordKind kind = reader.Classify(value, workstation);
  if (kind != presence::RecordKind::kUnreadable) {
    if (!value.IsText()) fuzz::Violated("a value that is no text was read");
    // The elements are the payload's first two, and "own" is decided in upper case.
    const Text payload = presence::UnsealPayload(value.text());
    const Text head = Text(reader.workstation()) + u"," + Text(reader.time());
    if (payload.compare(0, head.size(), head) != 0)
      fuzz::Violated("elements are not the payload's");
    if ((kind == presence::RecordKind::kOwn) != (Upper(reader.workstation()) == workstation)) {
      fuzz::Violated("own record misjudged");
    }
  }
  if (mode & 8) {
    fuzz::AddScratchRow(presence::PresenceMarker(), value);
    presence::UpdateResult result =
        presence::UpdateOnlineState(fuzz::ScratchConnection(), 2, u"Fuzz", false);
    // No stored row stops the update: an unreadable one is removed like an own one, a damaged
    // one replaced, a live one kept; this workstation's fresh record is added.
    // A value longer than any record is unreadable to the update whatever it holds.
    const bool tooLong = value.IsText() && value.text().size() > db::kMaxOptionUnits;
    const int32_t expected =
        !tooLong && (kind == presence::RecordKind::kLive || kind == presence::RecordKind::kDamaged)
            ? 2
            : 1;
    if (!result.ok() || result.count != expected) {
      fuzz::Violated("the update did not leave the records it should");
    }
    fuzz::EmptyScratchTable();
  }
  return 0;
}

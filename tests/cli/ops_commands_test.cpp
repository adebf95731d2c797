// prune, doctor, count and list's filters, run as the built command against a SQLite register.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/cli/ops_fixture.h"

namespace wq::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

const char kOld[] = "2000-1-1 0:00:00";

TEST_F(OpsCommands, PruneDryRunReportsAndTheRealRunRemoves) {
  ASSERT_EQ(Run({"update", "--state", "2", "--module", "Sales"}, "PC-NEW").status, 0);
  const std::string old = AddRecord(std::string("PC-OLD,") + kOld, "Sales", 1);
  const std::string hostile = AddRecord(std::string("PC-\x1b[2J,") + kOld, "Line\nBreak");
  AddRecord("PC-DMG,", "Sales");
  const auto before = Table();

  CommandResult r = Run({"prune", "--older-than", "1d", "--dry-run"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(
      r.out,
      HasSubstr("would remove id " + old + ": \"PC-OLD\" in module \"Sales\", time " + kOld +
                "\nwould remove id " + hostile + ": \"PC-?[2J\" in module \"Line?Break\", time " +
                kOld + "\nwould remove 2 records older than 1d (server time "));
  EXPECT_EQ(Table(), before);

  r = Run({"prune", "--older-than", "1d", "--module", "Sales"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("removed id " + old + ":"));
  EXPECT_THAT(r.out, HasSubstr("removed 1 record older than 1d"));
  EXPECT_EQ(Presence().size(), 3u);

  EXPECT_EQ(Run({"prune", "--older-than", "1w"}).status, 2);
  EXPECT_EQ(Run({"prune"}).status, 2);  // --older-than is required
  r = RunCommand(
      {"prune", "--older-than", "1d", "--conn", "Provider=SQLite;Data Source=/none/x.db"},
      Env("PC-OPS"));
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("webquorrel prune: "));

  // The server clock's zone: a name of the zone database, nothing else.
  r = Run({"prune", "--older-than", "1d", "--dry-run", "--time-zone", "Europe/Berlin"});
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* bad : {"../../etc/passwd", "/etc/localtime", "Europe/Nowhere", "", "UTC;x",
                          "Europe/Berlin\n"}) {
    r = Run({"prune", "--older-than", "1d", "--time-zone", bad});
    EXPECT_NE(r.status, 0) << bad;
    EXPECT_THAT(r.err, HasSubstr("is not a time zone")) << bad;
  }
  EXPECT_EQ(Presence().size(), 3u);
}

TEST_F(OpsCommands, DoctorDiagnosesWithoutChangingAndFixes) {
  CommandResult r = Run({"doctor"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Register() + "no problems found\n");

  const std::string live = AddRecord(std::string("PC-1,") + kOld, "Sales");
  const std::string older = AddRecord(std::string("pc-1,") + kOld, "Sales");
  const std::string newest = AddRecord("PC-1,2001-1-1 0:00:00", "Sales");
  const std::string unreadable = AddRaw("XYZ", "Sales");
  const std::string damaged = AddRecord("PC-2,\x1b]0;title\x07", "Sales");
  const auto before = Table();

  r = Run({"doctor"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Table(), before) << "without --fix nothing changes";
  EXPECT_THAT(r.out, HasSubstr("id " + live +
                               ": duplicate: \"PC-1\" in module \"Sales\" has a "
                               "newer record, id " +
                               newest + "\n"));
  EXPECT_THAT(r.out, HasSubstr("id " + older + ": duplicate: "));
  EXPECT_THAT(r.out, HasSubstr("id " + unreadable + ": unreadable: ssOption is not sealed hex"));
  EXPECT_THAT(r.out, HasSubstr("id " + damaged +
                               ": damaged: the time text \"?]0;title?\" is not "
                               "a date\n"));
  EXPECT_THAT(r.out, HasSubstr("4 problems found\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("removed")));

  r = Run({"doctor", "--fix"});
  EXPECT_EQ(r.status, 1) << "problems were found, even though most were fixed";
  EXPECT_THAT(r.out, HasSubstr("removed id " + live + "\nremoved id " + older + "\nremoved id " +
                               unreadable + "\n"));
  EXPECT_THAT(r.out, HasSubstr("4 problems found, 3 records removed\n"));
  EXPECT_THAT(Presence(), ElementsAre("PC-1|Sales|0", "PC-2|Sales|0"));

  // The damaged record is for the update to replace; doctor only reports it.
  ASSERT_EQ(Run({"update"}, "PC-9").status, 0);
  r = Run({"doctor", "--fix"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, Register() + "no problems found\n");
}

TEST_F(OpsCommands, CountAndListFilters) {
  ASSERT_EQ(Run({"update", "--state", "2", "--module", "Sales"}, "PC-1").status, 0);
  ASSERT_EQ(Run({"update", "--state", "2", "--module", "Sales", "--login"}, "PC-2").status, 0);
  ASSERT_EQ(Run({"update", "--state", "2", "--module", "Inventory"}, "PC-1").status, 0);
  ASSERT_EQ(Run({"update", "--state", "2"}, "PC-3").status, 0);
  AddRaw("XYZ", "Tab\tModule");

  CommandResult r = Run({"count"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "5\n");
  r = Run({"count", "--by-module"});
  EXPECT_EQ(r.out, "1\t\n1\tInventory\n2\tSales\n1\tTab?Module\n");
  r = Run({"count", "--json"});
  EXPECT_EQ(r.out,
            "{\"total\": 5, \"modules\": [{\"module\": \"\", \"count\": 1}, {\"module\": "
            "\"Inventory\", \"count\": 1}, {\"module\": \"Sales\", \"count\": 2}, {\"module\": "
            "\"Tab\\tModule\", \"count\": 1}]}\n");

  auto workstations = [&](const std::vector<std::string>& filter) {
    std::vector<std::string> args = {"list", "--json"};
    args.insert(args.end(), filter.begin(), filter.end());
    CommandResult l = Run(args);
    EXPECT_EQ(l.status, 0) << l.err;
    std::vector<std::string> names;
    for (size_t at = 0; (at = l.out.find("\"workstation\": ", at)) != std::string::npos;) {
      at += 15;
      names.push_back(l.out.substr(at, l.out.find(',', at) - at));
    }
    return names;
  };
  EXPECT_THAT(workstations({"--module", "Sales"}), ElementsAre("\"PC-1\"", "\"PC-2\""));
  EXPECT_THAT(workstations({"--module", "sales"}), ElementsAre());
  EXPECT_THAT(workstations({"--module", ""}), ElementsAre("\"PC-3\""));
  EXPECT_THAT(workstations({"--module", "Tab\tModule"}), ElementsAre("null"));
  EXPECT_THAT(workstations({"--workstation", "pc-1"}), ElementsAre("\"PC-1\"", "\"PC-1\""));
  EXPECT_THAT(workstations({"--workstation", "pc-1", "--module", "Inventory"}),
              ElementsAre("\"PC-1\""));
  EXPECT_THAT(workstations({"--workstation", "PC"}), ElementsAre());
  EXPECT_EQ(workstations({}).size(), 5u);
}

}  // namespace
}  // namespace wq::testing

#include "tests/fuzz/scratch_database.h"

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/db/connection.h"

namespace wq::fuzz {
namespace {

struct Scratch {
  std::string dir;
  Text conn;
  Scratch() {
    // In memory where the system has a tmpfs: the update writes, and a disk's syncs would cost
    // most of the time of an execution.
    std::error_code ignored;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ignored)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "wq-fuzz-XXXXXX").string();
    dir = mkdtemp(pattern.data());
    conn = u"Provider=SQLite;Data Source=" + FromUtf8(dir + "/scratch.db");
    db::Connection::Open(conn)->Execute(
        u"CREATE TABLE SystemSetting (ssID INTEGER PRIMARY KEY AUTOINCREMENT, ssDesc TEXT, "
        u"ssOption TEXT, ssModeName TEXT, ssState INTEGER)");
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

Scratch& Shared() {
  static Scratch scratch;
  return scratch;
}

}  // namespace

const Text& ScratchConnection() { return Shared().conn; }

void EmptyScratchTable() {
  db::Connection::Open(ScratchConnection())->Execute(u"DELETE FROM SystemSetting");
}

}  // namespace wq::fuzz

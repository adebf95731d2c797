#include "platform/db/connection_warning.h"

#include "platform/db/connection_string.h"
#include "platform/db/odbc/ado_translate.h"
#include "platform/db/odbc/environment.h"

namespace wq::db {

std::string ConnectionWarning(const Text& connectionString) {
  const ConnectionString cs = ConnectionString::Parse(connectionString);
  if (!odbc::IsForOdbc(cs.pairs())) return {};
  const std::optional<odbc::OdbcTarget> target =
      odbc::TranslateAdoToOdbc(cs.pairs(), odbc::InstalledDrivers());
  return target ? target->warning : std::string();
}

}  // namespace wq::db

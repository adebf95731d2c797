// The embedded engine's Register: Provider=SQLite;Data Source=PATH.
#pragma once

#include <memory>

#include "platform/db/register.h"

namespace wq::db::sqlite {

// Opens the file at path (UTF-8). Read-write, a missing file is created and put in
// write-ahead-log mode; read-only, nothing is created or changed and a missing file is an error
// that names it. A locked file is waited for up to 10 s. GETDATE() gives the local time as text
// "YYYY-MM-DD HH:MM:SS".
std::unique_ptr<Register> OpenRegister(const std::string& path, Access access);

}  // namespace wq::db::sqlite

-- SystemSetting for SQLite: the host's settings table, which also holds the presence records.
-- Run statement by statement; an existing table is left as it is.

CREATE TABLE IF NOT EXISTS SystemSetting (
  ssID       INTEGER PRIMARY KEY AUTOINCREMENT,  -- assigned by the database, never reused
  ssDesc     TEXT,                               -- the row's kind; the marker for presence rows
  ssOption   TEXT,                               -- the sealed payload
  ssModeName TEXT,                               -- the module
  ssState    INTEGER                             -- the login flag, 1 or 0
);

-- Every update looks presence records up by ssDesc.
CREATE INDEX IF NOT EXISTS SystemSetting_ssDesc ON SystemSetting (ssDesc);

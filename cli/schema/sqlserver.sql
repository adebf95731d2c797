-- SystemSetting for Microsoft SQL Server: the host's settings table, which also holds the
-- presence records. Run statement by statement. A table that already exists is the host's and
-- is left as it is: no column, key or index is added to it (building an index takes a schema
-- lock on a live table, and fails on text or nvarchar(max) columns). The index on ssDesc, which
-- every update's lookup of presence records uses, comes only with a table created here.

IF OBJECT_ID(N'SystemSetting', N'U') IS NULL
BEGIN
  CREATE TABLE SystemSetting (
    ssID       int IDENTITY(1,1) NOT NULL PRIMARY KEY,  -- assigned by the database
    ssDesc     nvarchar(255) NULL,  -- the row's kind; the marker for presence rows
    ssOption   nvarchar(max) NULL,  -- the sealed payload
    ssModeName nvarchar(255) NULL,  -- the module
    ssState    int NULL             -- the login flag, 1 or 0
  )
  CREATE INDEX SystemSetting_ssDesc ON SystemSetting (ssDesc)
END

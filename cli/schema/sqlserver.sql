-- SystemSetting for Microsoft SQL Server: the host's settings table, which also holds the
-- presence records. Run statement by statement; an existing table is left as it is.

IF OBJECT_ID(N'SystemSetting', N'U') IS NULL
  CREATE TABLE SystemSetting (
    ssID       int IDENTITY(1,1) NOT NULL PRIMARY KEY,  -- assigned by the database
    ssDesc     nvarchar(255) NULL,  -- the row's kind; the marker for presence rows
    ssOption   nvarchar(max) NULL,  -- the sealed payload
    ssModeName nvarchar(255) NULL,  -- the module
    ssState    int NULL             -- the login flag, 1 or 0
  );

-- Every update looks presence records up by ssDesc.
IF NOT EXISTS (SELECT * FROM sys.indexes
               WHERE name = N'SystemSetting_ssDesc' AND object_id = OBJECT_ID(N'SystemSetting'))
  CREATE INDEX SystemSetting_ssDesc ON SystemSetting (ssDesc);

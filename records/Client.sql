-- The door lock interface's database, Client.mdb. Date-times are REAL day counts
-- from 1899-12-30 (the time of day as the fraction); texts are GBK bytes.

-- One row per room: the check-in time of its most recent new card.
CREATE TABLE IF NOT EXISTS T_Room (
  RoomNo          TEXT,
  LastCheckInTime REAL
);
-- Not unique: a room may be added twice, and the lookup then takes the first row.
CREATE INDEX IF NOT EXISTS IX_Room_RoomNo ON T_Room (RoomNo);

-- One row for every card issue recorded.
CREATE TABLE IF NOT EXISTS T_IssueCardRecord (
  RecordId        INTEGER PRIMARY KEY AUTOINCREMENT,
  RegisterId      TEXT,
  CardNo          TEXT,
  RoomNo          TEXT,
  CardType        INTEGER,
  LastCheckInTime REAL,
  CheckInTime     REAL,
  CheckOutTime    REAL,
  IsCopy          INTEGER,
  GuestName       TEXT,
  OpratingTime    REAL
);

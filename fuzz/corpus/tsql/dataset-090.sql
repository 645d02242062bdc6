USE tavora_ReplicationDataset
CREATE TABLE tblSnapshot (
fldRecordID INT CONSTRAINT PK_SnapshotID PRIMARY KEY NONCLUSTERED)
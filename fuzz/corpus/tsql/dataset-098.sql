USE tavora_ReplicationDataset
CREATE TABLE tblQueuedSnapshot (
fldRecordID INT CONSTRAINT PK_QueuedSnapshotID PRIMARY KEY NONCLUSTERED)
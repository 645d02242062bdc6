USE tavora_TransPubDataset
CREATE TABLE tblQueuedTransactional (
fldRecordID INT CONSTRAINT PK_QueuedTransactionalID PRIMARY KEY NONCLUSTERED)
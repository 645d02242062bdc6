USE tavora_TransPubDataset
CREATE TABLE tblTransactional (
fldRecordID INT CONSTRAINT PK_TransactionalID PRIMARY KEY NONCLUSTERED)
USE tavora_StandardDataset
CREATE TABLE tblParent (
fldParentID INT CONSTRAINT PK_ParentID PRIMARY KEY NONCLUSTERED,
fldParentName VARCHAR(32)
  CONSTRAINT IX_ParentName UNIQUE NONCLUSTERED
  CONSTRAINT CK_ParentName CHECK ([fldParentName] <> 'Tallock'),
fldParentPhone VARCHAR(16),
fldParentFax VARCHAR(16))
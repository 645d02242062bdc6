USE tavora_StandardDataset
CREATE TABLE tblChild (
fldChildID INT,
fldChildName VARCHAR(32),
fldParentID INT CONSTRAINT FK_Parent FOREIGN KEY REFERENCES tblParent(fldParentID))
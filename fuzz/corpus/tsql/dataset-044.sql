USE tavora_StandardDataset
CREATE UNIQUE INDEX IX_ParentFax ON tblParent([fldParentFax])
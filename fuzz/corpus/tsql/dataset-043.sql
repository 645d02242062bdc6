USE tavora_StandardDataset
CREATE INDEX IX_ParentPhone ON tblParent([fldParentPhone])
USE tavora_MergePubDataset
EXEC sp_addmergearticle  @publication='pubMerge', @article='artTable', @source_object='tblGeneric', @type='table'
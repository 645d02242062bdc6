USE tavora_MergePubDataset
EXEC sp_addmergearticle  @publication='pubMerge', @article='artStoredProc', @source_object='spGeneric', @type='proc schema only'
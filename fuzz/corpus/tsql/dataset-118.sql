USE tavora_MergePubDataset
EXEC sp_addmergearticle  @publication='pubMerge', @article='artView', @source_object='vwGeneric', @type='view schema only'
USE tavora_MergePubDataset
EXEC sp_addmergepublication  @publication='pubMerge'
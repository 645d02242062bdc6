USE tavora_MergePubDataset
EXEC sp_dropmergepublication 'pubMerge'
USE master
EXEC sp_replicationdboption  @dbname='tavora_MergePubDataset', @optname='merge publish', @value='false'
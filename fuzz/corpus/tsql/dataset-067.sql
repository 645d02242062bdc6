USE master
EXEC sp_replicationdboption  @dbname='tavora_TransPubDataset', @optname='publish', @value='true'
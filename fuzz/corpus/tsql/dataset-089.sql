USE master
EXEC sp_replicationdboption  @dbname='tavora_ReplicationDataset', @optname='publish', @value='true'
USE tavora_ReplicationDataset
EXEC sp_addarticle  @publication='pubQueuedSnapshot', @article='artStoredProc', @source_table='tblQueuedSnapshot', @destination_owner='tkb'
USE tavora_TransPubDataset
EXEC sp_addarticle  @publication='pubQueuedTransactional', @article='artStoredProc', @source_table='tblQueuedTransactional', @destination_owner='tkb'
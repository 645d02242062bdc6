USE tavora_ReplicationDataset
EXEC sp_addarticle  @publication='pubSnapshot', @article='artStoredProc', @source_table='tblSnapshot', @destination_owner='tkb'
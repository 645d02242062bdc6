USE tavora_TransPubDataset
EXEC sp_addarticle  @publication='pubTransactional', @article='artStoredProc', @source_table='tblTransactional', @destination_owner='tkb'
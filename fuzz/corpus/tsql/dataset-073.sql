USE tavora_TransPubDataset
EXEC sp_addarticle  @publication='pubTransactional', @article='artTable', @source_table='tblTransactional', @destination_owner='tkb'
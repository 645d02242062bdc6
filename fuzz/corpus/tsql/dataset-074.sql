USE tavora_TransPubDataset
EXEC sp_addarticle  @publication='pubTransactional', @article='artView', @source_table='tblTransactional', @destination_owner='tkb'
USE tavora_ReplicationDataset
EXEC sp_addarticle  @publication='pubSnapshot', @article='artView', @source_table='tblSnapshot', @destination_owner='tkb'
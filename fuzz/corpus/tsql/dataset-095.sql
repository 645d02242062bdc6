USE tavora_ReplicationDataset
EXEC sp_addarticle  @publication='pubSnapshot', @article='artTable', @source_table='tblSnapshot', @destination_owner='tkb'
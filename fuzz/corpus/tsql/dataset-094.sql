USE tavora_ReplicationDataset
EXEC sp_addpublication  @publication='pubSnapshot', @repl_freq='snapshot'
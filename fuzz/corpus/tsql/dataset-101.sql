USE tavora_ReplicationDataset
EXEC sp_addpublication  @publication='pubQueuedSnapshot', @repl_freq='snapshot', @allow_queued_tran='true'
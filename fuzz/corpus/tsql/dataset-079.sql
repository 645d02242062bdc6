USE tavora_TransPubDataset
EXEC sp_addpublication  @publication='pubQueuedTransactional', @repl_freq='continuous', @allow_queued_tran='true'
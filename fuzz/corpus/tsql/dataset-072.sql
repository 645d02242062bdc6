USE tavora_TransPubDataset
EXEC sp_addpublication  @publication='pubTransactional', @repl_freq='continuous'
USE tavora_ReplicationDataset
EXEC sp_droppublication 'pubSnapshot'
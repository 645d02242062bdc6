USE master
DROP DATABASE tavora_TransPubDataset
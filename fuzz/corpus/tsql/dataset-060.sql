USE master
DROP DATABASE tavora_StandardDataset
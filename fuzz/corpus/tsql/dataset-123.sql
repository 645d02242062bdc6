USE master
DROP DATABASE tavora_MergePubDataset
USE tavora_StandardDataset
EXEC sp_addextendedproperty
  @name='MS_DisplayControl'
, @value=111
, @level0type='user'
, @level0name='dbo'
, @level1type='table'
, @level1name='tblGeneric'
, @level2type='column'
, @level2name='fldBigInt_ComboBox'
EXEC sp_fulltext_database
  @action='enable'
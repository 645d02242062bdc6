SELECT /* outer /* nested */ still a comment */ [a] -- to the end of the line
FROM [t] WHERE "a" = 1
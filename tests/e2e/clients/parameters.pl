# DBD::ODBC against `tavora serve`: a procedure called through the ODBC call
# escape with a bound return value, an input and an OUTPUT parameter; a
# prepared query described before it runs.
#
#   perl parameters.pl PORT
use strict;
use warnings;
use DBI qw(:sql_types);

my ($port) = @ARGV;
my $dbh = DBI->connect("dbi:ODBC:DRIVER={SQL Server};SERVER=127.0.0.1,$port;TDS_Version=7.1",
                       'sa', '', {AutoCommit => 1, RaiseError => 1, PrintError => 0});
$dbh->do(q{CREATE PROCEDURE triple @in int, @out int OUTPUT, @note varchar(20) = NULL OUTPUT AS
           SET @out = @in * 3 SET @note = 'tripled ' + CAST(@in AS varchar(10)) RETURN 7});
my ($status, $out, $note) = (0, 0, '');
my $sth = $dbh->prepare('{? = call triple(?, ?, ?)}');
$sth->bind_param_inout(1, \$status, 20, {TYPE => SQL_INTEGER});
$sth->bind_param(2, 5, {TYPE => SQL_INTEGER});
$sth->bind_param_inout(3, \$out, 20, {TYPE => SQL_INTEGER});
$sth->bind_param_inout(4, \$note, 20, {TYPE => SQL_VARCHAR});
$sth->execute;
1 while $sth->{odbc_more_results};
print "status $status, out $out, note $note\n";
my ($echo) = $dbh->selectrow_array('SELECT ? + 1', undef, 41);
print "select: $echo\n";
# A prepared query described before it runs, as DBI does when asked for
# its fields; a statement that does not compile fails at that point.
my $query = $dbh->prepare('SELECT ? AS a, 2 AS b');
print "fields before execute: $query->{NUM_OF_FIELDS}\n";
$query->execute(1);
print 'row: ', join(',', $query->fetchrow_array), "\n";
$query->finish;
my $broken = $dbh->prepare('SELECT * FROM nowhere WHERE a = ?');
eval { my $n = $broken->{NUM_OF_FIELDS}; 1 }
    or print 'describe failed: ', ($@ =~ /Invalid object name 'nowhere'/ ? '208' : $@), "\n";

# DBD::ODBC against `tavora serve` with AutoCommit off, as its users run it:
# nothing is committed until commit. Prints what a second connection sees
# after each step.
#
#   perl transactions.pl PORT [abandon]
#
# "abandon" inserts a row without committing and ends the process without
# disconnecting, so that only the server can roll it back.
use strict;
use warnings;
use DBI;
use POSIX ();

my ($port, $mode) = @ARGV;

sub connect_sa {
  return DBI->connect("dbi:ODBC:DRIVER={SQL Server};SERVER=127.0.0.1,$port;TDS_Version=7.1",
                      'sa', '', {AutoCommit => 0, RaiseError => 1, PrintError => 0});
}

sub rows {
  my ($dbh) = @_;
  return '[' . join(', ', map { $_->[0] } @{$dbh->selectall_arrayref('SELECT i FROM t ORDER BY i')}) . ']';
}

if (defined $mode && $mode eq 'abandon') {
  # Held until the end: a handle that is destroyed rolls back.
  my $abandoned = connect_sa();
  $abandoned->do('INSERT INTO t VALUES (4)');
  POSIX::_exit(0);
}

$| = 1;
my $first = connect_sa();
$first->do('CREATE TABLE t (i int)');
$first->commit;
$first->do('INSERT INTO t VALUES (1)');
$first->rollback;
print 'after rollback: ', rows($first), "\n";
$first->do('INSERT INTO t VALUES (2)');
$first->commit;
my $second = connect_sa();
print 'second connection: ', rows($second), "\n";
$first->do('INSERT INTO t VALUES (3)');
# DBI warns when a connection with uncommitted work is disconnected; the
# rollback is what this step checks.
{
  local $SIG{__WARN__} = sub { };
  $first->disconnect;
}
print 'after close: ', rows($second), "\n";
system($^X, $0, $port, 'abandon') == 0 or die "the abandoning process failed: $?\n";
print 'after the process ended: ', rows($second), "\n";
$second->rollback;
$second->disconnect;

# Typed parameters from a Python client library against `tavora serve`:
# each value sent as a parameter comes back from SELECT unchanged, a
# procedure's result and identity values reach the client. Prints one line
# per check.
#
#   python3 parameters.py pyodbc|pymssql PORT
import datetime
import decimal
import sys

library, port = sys.argv[1], sys.argv[2]

VALUES = [
    ('int', 42),
    ('bigint', 9000000000000000000),
    ('decimal', decimal.Decimal('-12345.6789')),
    ('float', 0.1),
    # Whole seconds: pyodbc sends fractions only to a server whose
    # sp_datatype_info says datetime has them.
    ('datetime', datetime.datetime(2005, 5, 3, 23, 18, 38)),
    ('str', 'plain text'),
    ('unicode', 'caf\u00e9 \u20ac \u03a9'),
    ('bytes', b'\x00\xff\x10'),
    ('None', None),
    ('bool', True),
    ('uuid', '6F9619FF-8B86-D011-B42D-00C04FC964FF'),
]


def check(name, sent, got):
    print(name, 'same' if got == sent and type(got) is type(sent) else
          'differs: sent %r, got %r' % (sent, got))


def setup(cursor):
    cursor.execute('CREATE TABLE items (id int IDENTITY(1, 1), name nvarchar(20))')
    cursor.execute('CREATE PROCEDURE add_item @name nvarchar(20), @id int OUTPUT AS '
                   'SET NOCOUNT ON INSERT INTO items (name) VALUES (@name) SET @id = SCOPE_IDENTITY() '
                   'SELECT COUNT(*) FROM items RETURN 5')


if library == 'pyodbc':
    import pyodbc
    connection = pyodbc.connect('DRIVER={SQL Server};SERVER=127.0.0.1,%s;UID=sa;PWD=;'
                                'TDS_Version=7.1' % port, autocommit=True)
    cursor = connection.cursor()
    for name, value in VALUES:
        cursor.execute('SELECT ?', value)
        check(name, value, cursor.fetchone()[0])
    setup(cursor)
    cursor.execute('INSERT INTO items (name) VALUES (?)', 'first')
    cursor.execute('SELECT id FROM items WHERE name = ? AND id > ?', 'first', 0)
    print('where:', cursor.fetchall())
    # The call escape runs the procedure by a procedure call; its result
    # set comes back (the OUTPUT value pyodbc cannot read).
    cursor.execute('{call add_item(?, ?)}', 'second', 0)
    print('call result:', cursor.fetchall())
elif library == 'pymssql':
    import pymssql
    connection = pymssql.connect(server='127.0.0.1', port=port, user='sa', password='',
                                 tds_version='7.1', autocommit=True)
    cursor = connection.cursor()
    for name, value in VALUES:
        # pymssql writes values into the statement's text, where only these
        # keep their Python type (a big integer constant is numeric there).
        if name not in ('int', 'decimal', 'str', 'unicode', 'None'):
            continue
        cursor.execute('SELECT %s', (value,))
        check(name, value, cursor.fetchone()[0])
    setup(cursor)
    cursor.execute('INSERT INTO items (name) VALUES (%s)', ('first',))
    print('lastrowid:', cursor.lastrowid)
    # pymssql reads OUTPUT values before any rows, so a procedure without.
    cursor.execute('CREATE PROCEDURE double_it @n int, @out int OUTPUT AS SET @out = @n * 2')
    print('callproc output:', cursor.callproc('double_it', (21, pymssql.output(int))))
else:
    sys.exit('unknown library ' + library)

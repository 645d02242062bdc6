# SQLAlchemy's reflection through its mssql dialect over pyodbc against
# `tavora serve`: builds a small database of tables, a view, keys and
# indexes, then prints what MetaData.reflect and inspect() find, one fact a
# line, in a fixed order, and for each call the server refuses, its error.
#
#   python3 reflection.py PORT
import sys

import pyodbc
import sqlalchemy
from sqlalchemy import inspect

port = sys.argv[1]

SCHEMA = [
    'CREATE DATABASE shop',
    'USE shop',
    'CREATE TABLE customers (id int IDENTITY(1, 1) CONSTRAINT pk_customers PRIMARY KEY,'
    ' name nvarchar(40) NOT NULL, email varchar(100) NULL CONSTRAINT uq_customers_email UNIQUE,'
    ' joined datetime NULL, rating decimal(5, 2) NULL)',
    'CREATE TABLE orders (id int NOT NULL CONSTRAINT pk_orders PRIMARY KEY,'
    ' customer_id int NOT NULL CONSTRAINT fk_orders_customers REFERENCES customers(id),'
    ' total money NULL, note text NULL, flag bit NOT NULL)',
    'CREATE INDEX ix_orders_customer ON orders(customer_id)',
    'CREATE TABLE order_lines (order_id int NOT NULL, line smallint NOT NULL,'
    ' sku char(8) NOT NULL, qty int NULL,'
    ' CONSTRAINT pk_order_lines PRIMARY KEY (order_id, line),'
    ' CONSTRAINT fk_lines_orders FOREIGN KEY (order_id) REFERENCES orders(id))',
    'CREATE UNIQUE INDEX ux_lines_sku ON order_lines(order_id, sku)',
    'CREATE VIEW customer_orders AS SELECT c.name, o.total FROM customers c'
    ' JOIN orders o ON o.customer_id = c.id',
]

connection = pyodbc.connect('DRIVER={SQL Server};SERVER=127.0.0.1,%s;UID=sa;PWD=;'
                            'TDS_Version=7.1' % port, autocommit=True)
for statement in SCHEMA:
    connection.cursor().execute(statement)
connection.close()

URL = 'mssql+pyodbc://sa:@127.0.0.1:%s/shop?driver=SQL+Server&TDS_Version=7.1' % port


def refused(what, error):
    # The server's first message and its number, from pyodbc's text:
    # "[42S02] [FreeTDS][SQL Server]Invalid object name 'x'. (208) (SQLExecDirectW)".
    text = str(error.orig if hasattr(error, 'orig') else error)
    message = text.split('[SQL Server]')[1].split(' (SQLExecDirectW)')[0]
    print('%s: refused %s' % (what, message))


def attempt(what, action):
    try:
        action()
    except sqlalchemy.exc.DBAPIError as error:
        refused(what, error)


# The dialect asks SCHEMA_NAME() for the default schema when it connects, a
# function SQL Server 2000 does not have, and gives up on the error; its
# users are their own schema, dbo here, so tell the dialect that instead.
attempt('connect', lambda: sqlalchemy.create_engine(URL).connect().close())
from sqlalchemy.dialects.mssql.base import MSDialect
MSDialect._get_default_schema_name = lambda self, connection: 'dbo'

engine = sqlalchemy.create_engine(URL)
inspector = inspect(engine)
TABLES = ['customers', 'order_lines', 'orders']

print('version:', engine.dialect.server_version_info)
print('tables:', sorted(inspector.get_table_names()))
print('views:', sorted(inspector.get_view_names()))
print('has table:', [name for name in ('orders', 'sysobjects', 'missing')
                     if inspector.has_table(name)])
attempt('customer_orders definition', lambda: inspector.get_view_definition('customer_orders'))


def columns(table):
    for column in inspector.get_columns(table):
        print('%s.%s: %s %s' % (table, column['name'], column['type'],
                                'NULL' if column['nullable'] else 'NOT NULL'))


def indexes(table):
    for index in sorted(inspector.get_indexes(table), key=lambda i: i['name']):
        print('%s index: %s %s%s' % (table, index['name'], index['column_names'],
                                     ' unique' if index['unique'] else ''))


def foreign_keys(table):
    for fk in sorted(inspector.get_foreign_keys(table), key=lambda f: f['name']):
        print('%s foreign key: %s %s -> %s %s' % (table, fk['name'], fk['constrained_columns'],
                                                fk['referred_table'], fk['referred_columns']))


def primary_key(table):
    key = inspector.get_pk_constraint(table)
    print('%s primary key: %s %s' % (table, key['name'], key['constrained_columns']))


for table in TABLES:
    for what, action in (('primary key', primary_key), ('foreign keys', foreign_keys),
                         ('columns', columns),
                         ('indexes', indexes)):
        attempt('%s %s' % (table, what), lambda: action(table))
attempt('customer_orders columns', lambda: columns('customer_orders'))


def reflect():
    metadata = sqlalchemy.MetaData()
    metadata.reflect(bind=engine, views=True, only=TABLES + ['customer_orders'])
    print('reflected:', sorted(metadata.tables))


attempt('reflect', reflect)

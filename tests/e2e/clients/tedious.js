// tedious against the server at TDS 7.1: parameters of every common type
// read back equal, a procedure call's OUTPUT parameter and return value, and
// a bulk load of 10,000 rows. Usage: node tedious.js PORT (tedious found
// through NODE_PATH).
'use strict';
const {Connection, Request, TYPES} = require('tedious');

const port = Number(process.argv[2]);

function connect() {
  return new Promise((resolve, reject) => {
    const connection = new Connection({
      server: '127.0.0.1',
      authentication: {type: 'default', options: {userName: 'sa', password: ''}},
      options: {
        port,
        tdsVersion: '7_1',
        encrypt: false,
        trustServerCertificate: true,
        connectTimeout: 10000,
        requestTimeout: 30000,
      },
    });
    connection.on('error', reject);
    connection.connect((err) => (err ? reject(err) : resolve(connection)));
  });
}

// Runs `sql` with `params` ([name, type, value, options]); resolves to its
// rows (arrays of values) once the request is done.
function query(connection, sql, params = []) {
  return new Promise((resolve, reject) => {
    const rows = [];
    const request = new Request(sql, (err) => (err ? reject(err) : resolve(rows)));
    for (const [name, type, value, options] of params) {
      request.addParameter(name, type, value, options);
    }
    request.on('row', (columns) => rows.push(columns.map((c) => c.value)));
    connection.execSql(request);
  });
}

// What a value is, to compare sent with read back: dates by their instant,
// buffers by their bytes, GUIDs without regard to case.
function canonical(value) {
  if (value === null || value === undefined) return 'null';
  if (value instanceof Date) return `date ${value.toISOString()}`;
  if (Buffer.isBuffer(value)) return `bytes ${value.toString('hex')}`;
  return `${typeof value} ${String(value).toLowerCase()}`;
}

const kGuid = '6F9619FF-8B86-D011-B42D-00C04FC964FF';

// [label, type, value sent, options, value expected back when it is not the
// one sent: bigint comes back as a string, so none of its digits is lost].
const kParameters = [
  ['Int', TYPES.Int, -2147483648],
  ['BigInt', TYPES.BigInt, '9007199254740993', undefined, '9007199254740993'],
  ['Decimal', TYPES.Decimal, 12345.6789, {precision: 18, scale: 4}],
  ['Float', TYPES.Float, 1.0000000000000002],
  ['NVarChar', TYPES.NVarChar, 'naïve façade Ωμέγα 日本'],
  ['VarChar', TYPES.VarChar, "it's plain"],
  ['DateTime', TYPES.DateTime, new Date(Date.UTC(2004, 1, 29, 13, 45, 30, 123))],
  ['Bit', TYPES.Bit, true],
  ['VarBinary', TYPES.VarBinary, Buffer.from([0, 1, 0xfe, 0xff, 0x7f])],
  ['UniqueIdentifier', TYPES.UniqueIdentifier, kGuid],
  ['Null', TYPES.NVarChar, null],
  ['Int null', TYPES.Int, null],
];

async function parameters(connection) {
  for (const [label, type, value, options, expected] of kParameters) {
    const rows = await query(connection, 'SELECT @v', [['v', type, value, options]]);
    const want = canonical(expected === undefined ? value : expected);
    const got = rows.length === 1 ? canonical(rows[0][0]) : `${rows.length} rows`;
    console.log(got === want ? `${label} same` : `${label} differs: sent ${want}, read ${got}`);
  }
  // Several parameters in one statement, compared by the server.
  const rows = await query(connection, 'SELECT CASE WHEN @a + @b = 42 AND @s = N\'x\' THEN 1 ELSE 0 END',
      [['a', TYPES.Int, 40], ['b', TYPES.SmallInt, 2], ['s', TYPES.NVarChar, 'x']]);
  console.log(`where: ${JSON.stringify(rows)}`);
}

function callProcedure(connection) {
  return new Promise((resolve, reject) => {
    const outputs = [];
    let status;
    const request = new Request('triple_and_count', (err) => (err ? reject(err) : resolve()));
    request.addParameter('n', TYPES.Int, 14);
    request.addOutputParameter('tripled', TYPES.Int);
    request.addOutputParameter('note', TYPES.NVarChar, null, {length: 20});
    request.on('returnValue', (name, value) => outputs.push(`${name}=${value}`));
    request.on('doneProc', (rowCount, more, returnStatus) => {
      if (returnStatus !== undefined) status = returnStatus;
    });
    request.on('requestCompleted', () => console.log(`call: ${outputs.join(' ')} return ${status}`));
    connection.callProcedure(request);
  });
}

const kBulkRows = 10000;

function bulkLoad(connection) {
  return new Promise((resolve, reject) => {
    const bulk = connection.newBulkLoad('loaded', {}, (err, rowCount) =>
      err ? reject(err) : resolve(rowCount));
    bulk.addColumn('id', TYPES.Int, {nullable: false});
    bulk.addColumn('name', TYPES.NVarChar, {length: 30, nullable: true});
    bulk.addColumn('amount', TYPES.Decimal, {precision: 12, scale: 2, nullable: true});
    const rows = [];
    for (let i = 1; i <= kBulkRows; i++) {
      rows.push({id: i, name: i % 10 === 0 ? null : `row ${i}`, amount: i + 0.25});
    }
    connection.execBulkLoad(bulk, rows);
  });
}

async function main() {
  const connection = await connect();
  try {
    await parameters(connection);
    await query(connection,
        'CREATE PROCEDURE triple_and_count @n INT, @tripled INT OUTPUT, @note NVARCHAR(20) OUTPUT ' +
        "AS SET @tripled = @n * 3 SET @note = N'from ' + CAST(@n AS NVARCHAR(10)) RETURN 7");
    await callProcedure(connection);
    await query(connection,
        'CREATE TABLE loaded (id INT NOT NULL PRIMARY KEY, name NVARCHAR(30) NULL, amount DECIMAL(12,2) NULL)');
    console.log(`bulk load: ${await bulkLoad(connection)} rows`);
    const rows = await query(connection,
        'SELECT COUNT(*), SUM(id), SUM(amount), COUNT(name), MAX(name) FROM loaded');
    console.log(`read back: ${JSON.stringify(rows[0])}`);
  } finally {
    connection.close();
  }
}

main().catch((err) => {
  console.error(err && err.stack ? err.stack : err);
  process.exit(1);
});

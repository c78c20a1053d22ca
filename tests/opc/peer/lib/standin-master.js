'use strict';
// A stand-in for the master program: a node-opcua server with the String
// variable "ns=1;s=QX_S.OP" under Objects (or without it, given
// --without-op). Usage: node standin-master.js ENDPOINT [--without-op].
// Prints "ready" once it serves; then takes one command a line on standard
// input and answers "ok" after each:
//   set TEXT             the value TEXT with good quality
//   status CODE TEXT     the value TEXT with the status CODE (a name such as
//                        BadSensorFailure or UncertainLastUsableValue)
//   sessions             "sessions: " and the names of the client sessions
//                        activated so far, "|" between them
const os = require('node:os');
const path = require('node:path');
const fs = require('node:fs');
const readline = require('node:readline');
// Node.js 18 (Debian 12's) has Web Crypto only as a module; node-opcua's
// server looks for it on globalThis.
if (!globalThis.crypto) globalThis.crypto = require('node:crypto').webcrypto;
const { OPCUAServer, OPCUACertificateManager, DataType, StatusCodes, Variant } = require('node-opcua');

async function main() {
  const [endpoint, ...flags] = process.argv.slice(2);
  const port = Number(new URL(endpoint.replace(/^opc\.tcp:/, 'http:')).port);
  const pki = fs.mkdtempSync(path.join(os.tmpdir(), 'qx-standin-master-'));
  const server = new OPCUAServer({
    port,
    hostname: '127.0.0.1',
    serverCertificateManager: new OPCUACertificateManager({ rootFolder: path.join(pki, 'server') }),
    userCertificateManager: new OPCUACertificateManager({ rootFolder: path.join(pki, 'user') }),
    allowAnonymous: true,
    buildInfo: { productName: 'QxOPCMaster stand-in' },
  });
  await server.initialize();
  const namespace = server.engine.addressSpace.getOwnNamespace();
  let output = null;
  if (!flags.includes('--without-op')) {
    output = namespace.addVariable({
      organizedBy: server.engine.addressSpace.rootFolder.objects,
      browseName: 'QX_S.OP',
      nodeId: 's=QX_S.OP',
      dataType: 'String',
      value: { dataType: DataType.String, value: '0' },
    });
  }
  const sessionNames = [];
  server.on('session_activated', (session) => sessionNames.push(String(session.sessionName)));
  await server.start();
  console.log(`ready ${namespace.index}`);

  const lines = readline.createInterface({ input: process.stdin });
  lines.on('line', (line) => {
    const [command, ...rest] = line.split(' ');
    if (command === 'set' && output) {
      output.setValueFromSource(new Variant({ dataType: DataType.String, value: rest.join(' ') }), StatusCodes.Good);
    } else if (command === 'status' && output) {
      const [code, ...text] = rest;
      output.setValueFromSource(new Variant({ dataType: DataType.String, value: text.join(' ') }), StatusCodes[code]);
    }
    else if (command === 'sessions') console.log(`sessions: ${sessionNames.join('|')}`);
    console.log('ok');
  });
  const stop = async () => {
    await server.shutdown(0);
    fs.rmSync(pki, { recursive: true, force: true });
    process.exit(0);
  };
  process.on('SIGTERM', stop);
  lines.on('close', stop);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});

'use strict';
// qxsim's server seen by node-opcua over secured channels: every policy and
// mode carries a whole session, client certificates are trusted only from
// the trust list (a refused one can be trusted by moving its file, without
// a restart), passwords are checked, anonymous sessions may not write on an
// endpoint that is reachable from other machines, and such an endpoint
// offers None only when told to.
//
// Every server gets its own certificate folder and users file under one
// temporary folder. The servers listen on 0.0.0.0 where a test needs an
// endpoint other than loopback; the client still connects through
// 127.0.0.1.
if (!globalThis.crypto) globalThis.crypto = require('node:crypto').webcrypto;
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const {
  OPCUAClient, InMemoryCertificateStore, MessageSecurityMode, SecurityPolicy, UserTokenType, DataType,
} = require('node-opcua');
const { startServer, programPath, stopServer } = require('../lib/processes');
const {
  kItemFolder, browseChildren, readText, writeValue, recordChanges, waitUntil, secondPublicationAfter,
} = require('../lib/client');

const kRun = ['--set', 'RunControl.SleepMs=20', '--set', 'RunControl.SpeedLevel=0', '--seed', '7'];
const kUser = 'operator';
const kPassword = 'wonder-land';
const kClientUri = 'urn:qx:peer:security-client';

const kSecuredPolicies = [
  SecurityPolicy.Basic256Sha256, SecurityPolicy.Aes128_Sha256_RsaOaep, SecurityPolicy.Aes256_Sha256_RsaPss,
];
const kSecuredModes = [MessageSecurityMode.Sign, MessageSecurityMode.SignAndEncrypt];

// The temporary folder of this file's tests and the one client identity
// they share: made on first use with the openssl command line (quicker
// than a key made in JavaScript), removed when the process ends.
let workspace;
function work() {
  if (workspace) return workspace;
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'qx-peer-security-'));
  process.on('exit', () => fs.rmSync(root, { recursive: true, force: true }));
  // node-opcua's certificate tools set OPENSSL_CONF in this process (to
  // "undefined" after an earlier test file used them): the command line gets
  // its own default configuration instead.
  const env = { ...process.env };
  delete env.OPENSSL_CONF;
  const certificatePem = path.join(root, 'client-cert.pem');
  const keyPem = path.join(root, 'client-key.pem');
  execFileSync('openssl', [
    'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-sha256', '-days', '30',
    '-keyout', keyPem, '-out', certificatePem, '-subj', '/CN=QxPeerSecurityClient/O=qx',
    '-addext', `subjectAltName=URI:${kClientUri},DNS:localhost`,
    '-addext', 'keyUsage=critical,digitalSignature,nonRepudiation,keyEncipherment,dataEncipherment,keyCertSign',
    '-addext', 'extendedKeyUsage=serverAuth,clientAuth',
  ], { stdio: ['ignore', 'ignore', 'pipe'], env });
  const certificateDer = execFileSync('openssl', ['x509', '-in', certificatePem, '-outform', 'DER'],
                                      { env });
  workspace = { root, certificatePem, keyPem, certificateDer, servers: 0 };
  return workspace;
}

// A fresh certificate folder and users file, with `kUser` in it; the client
// certificate is put in trusted/certs unless `trustClient` is false.
function serverFolders({ trustClient = true } = {}) {
  const w = work();
  const folder = path.join(w.root, `server-${++w.servers}`);
  const pki = path.join(folder, 'pki');
  const users = path.join(folder, 'config', 'users');
  fs.mkdirSync(path.join(pki, 'trusted', 'certs'), { recursive: true });
  if (trustClient) fs.writeFileSync(path.join(pki, 'trusted', 'certs', 'peer-client.der'), w.certificateDer);
  execFileSync(programPath('QXSIM'), ['user', 'add', kUser], {
    input: `${kPassword}\n`, env: { ...process.env, QX_OPC_USERS: users }, stdio: ['pipe', 'ignore', 'pipe'],
  });
  return { pki, users };
}

// qxsim run serving at a free port, on all interfaces unless `loopback`,
// with the security settings in `env`. The returned endpoint is on
// 127.0.0.1 either way; `output` collects what the server printed.
async function startSecuredQxsim(folders, { loopback = false, env = {} } = {}) {
  const server = await startServer(programPath('QXSIM'),
    (endpoint) => ['run', '--serve', loopback ? endpoint : endpoint.replace('127.0.0.1', '0.0.0.0'), ...kRun],
    /serving OPC UA at/,
    { LC_ALL: 'C', LC_NUMERIC: '', LANG: '', QX_OPC_PKI: folders.pki, QX_OPC_USERS: folders.users, ...env });
  server.output = server.child.startupOutput;
  server.child.stdout.on('data', (chunk) => { server.output += chunk; });
  server.child.stderr.on('data', (chunk) => { server.output += chunk; });
  return server;
}

function secureClient(securityPolicy, securityMode) {
  const w = work();
  return OPCUAClient.create({
    applicationName: 'QxPeerSecurityClient',
    applicationUri: kClientUri,
    securityPolicy,
    securityMode,
    certificateFile: w.certificatePem,
    privateKeyFile: w.keyPem,
    // The server's self-signed certificate is new at every start.
    clientCertificateManager: new InMemoryCertificateStore({ autoAcceptUnknown: true }),
    endpointMustExist: false,
    connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    requestedSessionTimeout: 60000,
    keepSessionAlive: false,
  });
}

const kAsUser = { type: UserTokenType.UserName, userName: kUser, password: kPassword };
const kAnonymous = { type: UserTokenType.Anonymous };

// The clients and sessions opened against one server, closed before the
// server stops (a close that the server cannot answer would hang).
class Peers {
  constructor() { this.peers = []; }

  // An activated session over a new client's channel.
  async session(endpoint, policy, mode, identity = kAsUser) {
    const peer = { client: secureClient(policy, mode), session: null };
    this.peers.push(peer);
    await peer.client.connect(endpoint);
    peer.session = await peer.client.createSession(identity);
    return peer.session;
  }

  async closeAll() {
    for (const { client, session } of this.peers.splice(0).reverse()) {
      if (session) await session.close().catch(() => {});
      await client.disconnect().catch(() => {});
    }
  }
}

// Resolves with the error `promise` rejects with; fails when it resolves.
// A call of one of the loop object's methods with one Int32 argument; its
// status name.
async function callLoop(session, method, level) {
  const result = await session.call({
    objectId: 'ns=1;s=Loop', methodId: `ns=1;s=Loop.${method}`,
    inputArguments: [{ dataType: DataType.Int32, value: level }],
  });
  return result.statusCode.name;
}

async function refusal(promise, what) {
  try {
    await promise;
  } catch (error) {
    return error;
  }
  assert.fail(`${what} was accepted`);
}

async function endpointsOf(endpoint) {
  const client = OPCUAClient.create({ endpointMustExist: false, connectionStrategy: { maxRetry: 0 } });
  await client.connect(endpoint);
  try {
    return await client.getEndpoints();
  } finally {
    await client.disconnect();
  }
}

const offerName = (e) => `${e.securityPolicyUri.split('#')[1]} ${MessageSecurityMode[e.securityMode]}`;

module.exports = [
  {
    name: 'every secured policy and mode: a signed-in user browses, reads, subscribes and writes',
    timeoutMs: 120000,
    run: async (scope) => {
      const server = scope.add(await startSecuredQxsim(serverFolders()), stopServer);
      const peers = scope.add(new Peers(), (p) => p.closeAll());
      let gain = 2;
      for (const policy of kSecuredPolicies) {
        for (const mode of kSecuredModes) {
          const what = `${policy.split('#')[1]} ${MessageSecurityMode[mode]}`;
          const session = await peers.session(server.endpoint, policy, mode);
          const objects = await browseChildren(session, 'ns=0;i=85');
          assert.ok(objects.some((r) => r.browseName.name === kItemFolder), `${what}: browse finds ${kItemFolder}`);
          await secondPublicationAfter(session, Date.now());
          assert.match(await readText(session, 'QX_S.PV'), /^-?[0-9]/, `${what}: read of QX_S.PV`);
          const recorder = await recordChanges(session, ['QX_S.K']);
          gain += 1;
          const status = await writeValue(session, 'QX_S.PROP', DataType.String, String(gain));
          assert.equal(status.name, 'Good', `${what}: write of QX_S.PROP`);
          await waitUntil(`${what}: QX_S.K = ${gain} published to the subscription`,
            () => recorder.latest['QX_S.K'] === String(gain));
          await recorder.subscription.terminate();
          await peers.closeAll();
        }
      }
    },
  },
  {
    name: 'an untrusted client certificate is refused and kept in rejected/, and trusted once moved to trusted/certs',
    run: async (scope) => {
      const folders = serverFolders({ trustClient: false });
      const server = scope.add(await startSecuredQxsim(folders), stopServer);
      const peers = scope.add(new Peers(), (p) => p.closeAll());
      const { Basic256Sha256 } = SecurityPolicy;
      const { SignAndEncrypt } = MessageSecurityMode;
      await refusal(peers.session(server.endpoint, Basic256Sha256, SignAndEncrypt),
        'a session with an untrusted certificate');

      const rejected = path.join(folders.pki, 'rejected');
      const files = fs.readdirSync(rejected).filter((f) => f.endsWith('.der'));
      assert.equal(files.length, 1, `one certificate in rejected/: ${files}`);
      assert.deepEqual(fs.readFileSync(path.join(rejected, files[0])), work().certificateDer,
        'rejected/ holds the client certificate as DER');

      fs.renameSync(path.join(rejected, files[0]), path.join(folders.pki, 'trusted', 'certs', files[0]));
      const session = await peers.session(server.endpoint, Basic256Sha256, SignAndEncrypt);
      assert.equal(typeof await readText(session, 'QX_S.PV'), 'string', 'the trusted client reads');
      assert.equal(server.child.exitCode, null, 'the same server still runs');
    },
  },
  {
    name: 'a wrong password or an unknown user is refused with BadUserAccessDenied',
    run: async (scope) => {
      const server = scope.add(await startSecuredQxsim(serverFolders()), stopServer);
      const peers = scope.add(new Peers(), (p) => p.closeAll());
      const wrong = [
        { ...kAsUser, password: 'not-the-password' },
        { ...kAsUser, password: '' },
        { ...kAsUser, userName: 'nobody' },
      ];
      for (const identity of wrong) {
        const error = await refusal(peers.session(server.endpoint, SecurityPolicy.Aes128_Sha256_RsaOaep,
          MessageSecurityMode.SignAndEncrypt, identity), `sign-in as ${JSON.stringify(identity)}`);
        assert.match(error.message, /BadUserAccessDenied/, JSON.stringify(identity));
      }
      // The right password still gets in afterwards.
      await peers.session(server.endpoint, SecurityPolicy.Aes128_Sha256_RsaOaep,
        MessageSecurityMode.SignAndEncrypt);
    },
  },
  {
    name: 'anonymous sessions read but may not write on an endpoint other than loopback, nor where denied on loopback',
    run: async (scope) => {
      const cases = [
        { where: '0.0.0.0 by default', loopback: false, env: {} },
        { where: 'loopback with QX_OPC_ANONYMOUS_WRITES=deny', loopback: true, env: { QX_OPC_ANONYMOUS_WRITES: 'deny' } },
      ];
      for (const c of cases) {
        const server = scope.add(await startSecuredQxsim(serverFolders(), c), stopServer);
        const peers = scope.add(new Peers(), (p) => p.closeAll());
        const anonymous = await peers.session(server.endpoint, SecurityPolicy.Aes256_Sha256_RsaPss,
          MessageSecurityMode.SignAndEncrypt, kAnonymous);
        await secondPublicationAfter(anonymous, Date.now());
        const gain = await readText(anonymous, 'QX_S.K');
        assert.notEqual(gain, '9', `${c.where}: the case does not start with gain 9`);
        for (const name of ['QX_S.PROP', 'QX_S.INTG']) {
          const status = await writeValue(anonymous, name, DataType.String, '9');
          assert.equal(status.name, 'BadUserAccessDenied', `${c.where}: anonymous write of ${name}`);
        }
        // The loop object's writes and methods follow the same rights.
        assert.equal((await writeValue(anonymous, 'Loop.P', DataType.Double, 9)).name, 'BadUserAccessDenied',
          `${c.where}: anonymous write of Loop.P`);
        assert.equal(await callLoop(anonymous, 'SetSpeed', 6), 'BadUserAccessDenied',
          `${c.where}: anonymous call of SetSpeed`);
        await secondPublicationAfter(anonymous, Date.now());
        assert.equal(await readText(anonymous, 'QX_S.K'), gain, `${c.where}: the refused write left the gain`);
        // A signed-in user writes and calls on the same server.
        const user = await peers.session(server.endpoint, SecurityPolicy.Aes256_Sha256_RsaPss,
          MessageSecurityMode.SignAndEncrypt);
        assert.equal((await writeValue(user, 'QX_S.PROP', DataType.String, '9')).name, 'Good', c.where);
        assert.equal((await writeValue(user, 'Loop.D', DataType.Double, 0.5)).name, 'Good', c.where);
        assert.equal(await callLoop(user, 'SetSpeed', 6), 'Good', c.where);
        await peers.closeAll();
        await stopServer(server);
      }
    },
  },
  {
    name: 'None is offered on an endpoint other than loopback only when QX_OPC_SECURITY lists it',
    run: async (scope) => {
      const all = kSecuredPolicies.flatMap((p) => kSecuredModes.map((m) => `${p.split('#')[1]} ${MessageSecurityMode[m]}`));
      const cases = [
        { where: '0.0.0.0 by default', loopback: false, env: {}, offers: all },
        { where: 'loopback by default', loopback: true, env: {}, offers: ['None None', ...all] },
        { where: '0.0.0.0 with None listed', loopback: false,
          env: { QX_OPC_SECURITY: 'None,Basic256Sha256:SignAndEncrypt' },
          offers: ['None None', 'Basic256Sha256 SignAndEncrypt'] },
      ];
      for (const c of cases) {
        const server = scope.add(await startSecuredQxsim(serverFolders(), c), stopServer);
        const peers = scope.add(new Peers(), (p) => p.closeAll());
        const endpoints = await endpointsOf(server.endpoint);
        assert.deepEqual(endpoints.map(offerName).sort(), [...c.offers].sort(), `${c.where}: the offered endpoints`);
        for (const e of endpoints) {
          if (e.securityMode !== MessageSecurityMode.None) {
            assert.ok(e.serverCertificate && e.serverCertificate.length > 0, `${c.where}: ${offerName(e)} has a certificate`);
          }
        }
        const announced = server.output.split('\n').find((line) => /security/i.test(line)) || '';
        assert.equal(/\bNone\b/.test(announced), c.offers.includes('None None'),
          `${c.where}: the start-up line names None exactly when offered: ${announced}`);
        if (!c.offers.includes('None None')) {
          await refusal(peers.session(server.endpoint, SecurityPolicy.None, MessageSecurityMode.None,
            kAnonymous), `${c.where}: a session without security`);
        }
        await peers.closeAll();
        await stopServer(server);
      }
    },
  },
];

'use strict';
// The master link: qxsim --master following a stand-in master (a node-opcua
// server publishing "QX_S.OP"), and a pair of qxsim processes forming the
// cascade.
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const net = require('node:net');
const { startQxsim, stopServer } = require('../lib/processes');
const { waitUntil } = require('../lib/client');
const { startStandinMaster, tell, startSlave } = require('../lib/master');

// Paced runs (20 ms a step) that go on until stopped.
const kSlowRun = ['--set', 'RunControl.SleepMs=20', '--set', 'RunControl.SpeedLevel=0', '--seed', '7'];
const kMissingTag = 'Quorvanex OPC Server: Could not find OP Tag of QxOPCMaster';

function tempFile(name) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'qx-master-'));
  return path.join(folder, name);
}

// A follower connected to a stand-in master; `runArgs` and `env` go to qxsim.
async function linkedPair(scope, { masterFlags = [], runArgs = [], env = {} } = {}) {
  const master = scope.add(await startStandinMaster(masterFlags), stopServer);
  const slave = scope.add(await startSlave(master.endpoint, [...kSlowRun, ...runArgs], env), stopServer);
  await waitUntil('the slave to report the link connected',
    () => slave.linkLines.some((l) => l.line === 'qxsim: master link connected'));
  return { master, slave };
}

async function setPointBecomes(slave, value) {
  await waitUntil(`the slave's SP and SPNew to become ${value}`, () => {
    const row = slave.latest();
    return row.sp === value && row.spNew === value;
  });
}

function panelValue(dumpPath, edit) {
  const line = fs.readFileSync(dumpPath, 'utf8').split('\n').find((l) => l.startsWith(`${edit}=`));
  return line && line.slice(edit.length + 1);
}

// A loopback port that nothing listens on.
async function closedPort() {
  const server = net.createServer();
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port } = server.address();
  await new Promise((resolve) => server.close(resolve));
  return port;
}

module.exports = [
  {
    name: 'master link: the slave announces itself to the master by the product\'s name',
    run: async (scope) => {
      const { master } = await linkedPair(scope);
      const answer = await tell(master, 'sessions');
      assert.match(answer, /^sessions: .*Quorvanex OPC Server For Simulation \(SLAVE\)/m);
    },
  },
  {
    name: 'master link: the set point follows the master: 40 during the run, then 45 shown as "45.00"',
    run: async (scope) => {
      // The run ends at step 150 and the slave goes on serving and following
      // the master; the run's last pickup of the edits is then behind it.
      const panel = tempFile('panel.txt');
      const model = tempFile('model.txt');
      const { master, slave } = await linkedPair(scope, {
        runArgs: ['--steps', '150', '--serve-after', '60', '--dump-panel', panel, '--dump-model', model],
      });
      await tell(master, 'set 40');
      await setPointBecomes(slave, 40);
      await waitUntil('the run to end', () => slave.latest().step >= 149, 10000);
      await tell(master, 'set 45');
      await new Promise((resolve) => setTimeout(resolve, 1000));
      assert.equal(await stopServer(slave), 0);
      assert.equal(panelValue(panel, 'SingleSPNew'), '45.00');
      assert.equal(panelValue(model, 'SingleLoop.SP'), '45');
      assert.equal(panelValue(model, 'SingleLoop.SPNew'), '45');
    },
  },
  {
    name: 'master link: under a comma locale "12.5" reads as 12.5, and "7.25" shows as "7,25"',
    run: async (scope) => {
      const panel = tempFile('panel.txt');
      const { master, slave } = await linkedPair(scope, {
        runArgs: ['--steps', '150', '--serve-after', '60', '--dump-panel', panel], env: { LC_ALL: 'de_DE.UTF-8' },
      });
      await tell(master, 'set 12.5');
      await setPointBecomes(slave, 12.5);
      await waitUntil('the run to end', () => slave.latest().step >= 149, 10000);
      await tell(master, 'set 7.25');
      await new Promise((resolve) => setTimeout(resolve, 1000));
      assert.equal(await stopServer(slave), 0);
      assert.equal(panelValue(panel, 'SingleSPNew'), '7,25');
    },
  },
  {
    name: 'master link: a Bad or Uncertain value sets the set point to 10000000; a good text that is no number leaves it',
    run: async (scope) => {
      const { master, slave } = await linkedPair(scope);
      await tell(master, 'status BadSensorFailure 40');
      await setPointBecomes(slave, 10000000);
      await tell(master, 'set 30');
      await setPointBecomes(slave, 30);
      await tell(master, 'status UncertainLastUsableValue 30');
      await setPointBecomes(slave, 10000000);
      await tell(master, 'set 35');
      await setPointBecomes(slave, 35);
      for (const text of ['abc', '35,5', 'nan']) {
        await tell(master, `set ${text}`);
        const steps = slave.latest().step;
        // Ten update periods and more: the change has long been delivered.
        await waitUntil('50 more steps', () => slave.latest().step >= steps + 50);
        assert.equal(slave.latest().sp, 35, `"${text}" left SP alone`);
        assert.equal(slave.latest().spNew, 35, `"${text}" left SPNew alone`);
      }
      await tell(master, 'set 36');
      await setPointBecomes(slave, 36);
    },
  },
  {
    name: 'master link: a master without the item gives "Could not find OP Tag of QxOPCMaster"',
    run: async (scope) => {
      const { slave } = await linkedPair(scope, { masterFlags: ['--without-op'] });
      await waitUntil('the missing-tag message', () => slave.stderr.includes(kMissingTag));
      assert.equal(slave.stderr.split(kMissingTag).length, 2, 'shown once');
    },
  },
  {
    name: 'master link: a master that is not running: one notice, the run goes on and ends with status 0',
    run: async (scope) => {
      const endpoint = `opc.tcp://127.0.0.1:${await closedPort()}`;
      const slave = scope.add(await startSlave(endpoint, [...kSlowRun, '--steps', '150', '--serve-after', '0']), stopServer);
      assert.equal(await slave.exited, 0);
      assert.ok(slave.rows.length >= 150, `the run went on (${slave.rows.length} steps)`);
      assert.deepEqual(slave.linkLines.map((l) => l.line.split(':').slice(0, 2).join(':')),
        [`Master link: cannot connect to opc.tcp`], `one notice; stderr was:\n${slave.stderr}`);
      assert.ok(!slave.stderr.includes('QxOPCMaster'), 'none of the set-up messages');
    },
  },
  {
    name: 'master link: a master that goes away or stops answering only changes the link state, within one second',
    timeoutMs: 90000,
    run: async (scope) => {
      for (const how of ['SIGKILL', 'SIGSTOP']) {
        const { master, slave } = await linkedPair(scope);
        await tell(master, 'set 42');
        await setPointBecomes(slave, 42);
        const gone = Date.now();
        master.child.kill(how);
        await waitUntil(`the disconnect after ${how}`,
          () => slave.linkLines.some((l) => l.line === 'qxsim: master link disconnected'));
        const at = slave.linkLines.find((l) => l.line === 'qxsim: master link disconnected').at;
        assert.ok(at - gone <= 1000, `${how}: disconnected ${at - gone} ms after the master went`);
        const steps = slave.latest().step;
        await waitUntil('the run to go on', () => slave.latest().step >= steps + 20);
        assert.equal(slave.latest().sp, 42, 'the set point keeps its last value');
        assert.ok(!/Could not find|Program Error|cannot connect/.test(slave.stderr), slave.stderr);
        if (how === 'SIGSTOP') master.child.kill('SIGKILL');
      }
    },
  },
  {
    name: 'master link: two qxsim processes form the cascade: the slave\'s SPNew tracks the master\'s OP',
    run: async (scope) => {
      // The master goes to Manual and steps its output: 40, 45, 55.
      const master = scope.add(await startQxsim([...kSlowRun, '--at', '5:mode',
        '--at', '40:SingleOPNew=40', '--at', '40:enter',
        '--at', '140:SingleOPNew=45', '--at', '140:enter',
        '--at', '240:SingleOPNew=55', '--at', '240:enter']), stopServer);
      const slave = scope.add(await startSlave(master.endpoint, kSlowRun), stopServer);
      await waitUntil('the slave to follow 55', () => slave.latest().spNew === 55, 20000);
      const followed = slave.rows.map((r) => r.spNew).filter((v, i, all) => i === 0 || v !== all[i - 1]);
      const steps = followed.filter((v) => [40, 45, 55].includes(v));
      assert.deepEqual(steps, [40, 45, 55], `the slave's SPNew went ${followed.join(' -> ')}`);
      assert.ok(slave.rows.every((r) => r.sp === r.spNew), 'SP and SPNew move together');
    },
  },
];

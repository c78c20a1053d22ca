'use strict';
// The node-opcua examples of the documentation run against a live loop.
const assert = require('node:assert/strict');
const { AttributeIds } = require('node-opcua');
const { execFile } = require('node:child_process');
const path = require('node:path');
const { startQxsim, stopServer } = require('../lib/processes');
const { openSession, closeSession, secondPublicationAfter } = require('../lib/client');
const { alarmCase, loggedTransitions } = require('../lib/alarms');

const kExamples = path.join(__dirname, '..', 'examples');
const kSlowRun = ['--set', 'RunControl.SleepMs=20', '--set', 'RunControl.SpeedLevel=0', '--seed', '7'];

function runExample(name, args, env = {}) {
  return new Promise((resolve, reject) => {
    execFile(process.execPath, [path.join(kExamples, name), ...args], { env: { ...process.env, ...env } },
      (error, stdout, stderr) => (error ? reject(new Error(`${name}: ${error.message}\n${stderr}`))
        : resolve({ stdout, stderr })));
  });
}

module.exports = [
  {
    name: 'the examples read an hour of PV history and step the set point',
    run: async (scope) => {
      const server = scope.add(await startQxsim(kSlowRun), stopServer);
      const { session } = scope.add(await openSession(server.endpoint), closeSession);
      await secondPublicationAfter(session, Date.now());

      const history = await runExample('read-pv-history.js', [server.endpoint]);
      // node-opcua's own notices may come first on the output.
      const lines = history.stdout.trim().split('\n');
      assert.ok(lines.includes('time,PV'), history.stdout);
      const rows = lines.filter((line) => /^\d{4}-\d\d-\d\dT[^,]+,[-0-9.e]+$/.test(line));
      assert.ok(rows.length > 2, 'the run so far is in the history');
      assert.match(history.stderr, new RegExp(`${rows.length} values; average [-0-9.e]+, minimum`));

      const [before] = await session.read([{ nodeId: 'ns=1;s=Loop.SPNew', attributeId: AttributeIds.Value }]);
      const step = await runExample('step-set-point.js', [server.endpoint, '2.5'], { STEP_SECONDS: '2' });
      const table = step.stdout.trim().split('\n').filter((line) => /^[-0-9.e,]+$/.test(line) || line === 't,SPNew,SP,PV');
      assert.equal(table[0], 't,SPNew,SP,PV');
      assert.equal(table.length, 3);
      assert.equal(Number(table[2].split(',')[1]), before.value.value + 2.5, 'the set point was stepped');
    },
  },
  {
    name: 'the example acknowledges the loop\'s active alarm with its comment',
    run: async (scope) => {
      // A high limit under the case's PV of 50: active from the first step.
      const { casePath, log } = alarmCase(scope, 'pv.high = 45\n');
      const server = scope.add(await startQxsim([casePath, ...kSlowRun, '--alarms', log]), stopServer);
      const run = await runExample('acknowledge-alarms.js', [server.endpoint, 'checked by the example'],
        { ALARM_SECONDS: '2' });
      const events = run.stdout.trim().split('\n').filter((line) => line.includes(',LevelAlarm,'));
      assert.match(events[0] || '', /,LevelAlarm,true,false,false,500,"PV high: [\d.]+ > 45"$/, run.stdout);
      assert.ok(events.some((line) => line.includes(',LevelAlarm,true,true,false,')), run.stdout);
      assert.match(run.stderr, /acknowledge LevelAlarm: Good/);
      assert.deepEqual(loggedTransitions(log).slice(0, 2), ['level,high', 'level,acked']);
    },
  },
];

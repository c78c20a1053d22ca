'use strict';
// A running simulation as a subscribed client sees it, and the client
// writes that reach the loop (QX_S.PROP, QX_S.INTG) or do not (everything
// else, texts that are not numbers).
const assert = require('node:assert/strict');
const { startQxsim, stopServer } = require('../lib/processes');
const {
  DataType, openSession, closeSession, readText, writeValue, recordChanges, waitUntil,
  secondPublicationAfter,
} = require('../lib/client');
const { kItemNames } = require('../lib/items');

// About 25 samples a second, with no end of its own; a little PV noise
// makes every sample change QX_S.PV (the starting case is steady).
const kSlowRun = ['--set', 'RunControl.SleepMs=20', '--set', 'RunControl.SpeedLevel=0',
  '--set', 'SingleLoop.PVNoise=0.01', '--seed', '7'];

// A running qxsim with a subscribed session that has seen a first publication.
async function runningLoop(scope, env = {}) {
  const server = scope.add(await startQxsim(kSlowRun, env), stopServer);
  const peer = scope.add(await openSession(server.endpoint), closeSession);
  const recorder = await recordChanges(peer.session, kItemNames);
  await waitUntil('a first publication', () => recorder.latest['DUMMYTAG.PV'] === '1');
  return { server, peer, recorder, session: peer.session };
}

function sourceTimes(recorder, name) {
  return new Set(recorder.changes[name].map((c) => c.sourceMs)).size;
}

module.exports = [
  {
    name: 'a subscription sees publications arrive while the run goes, with the fixed item texts',
    run: async (scope) => {
      const { server, recorder } = await runningLoop(scope);
      // Count publications by the changes of PV, each stamped with the time
      // of its publication.
      await waitUntil('10 publications of QX_S.PV', () => sourceTimes(recorder, 'QX_S.PV') >= 10, 10000);
      const fixed = {
        'DUMMYTAG.PV': '1', 'QX_S.SO': 'True', 'QX_S.MODE': '2', 'QX_S.CASCADE': 'False',
        'QX_S.QMAN_AUT': '1', 'QX_S.QSPEXTON': '0', 'QX_S.AUTO_SD_BYPASS': '1',
      };
      for (const name of kItemNames.filter((n) => n.startsWith('QX_C.'))) fixed[name] = '0';
      for (const [name, text] of Object.entries(fixed)) assert.equal(recorder.latest[name], text, name);
      // The reals are numbers in general notation, "." as separator.
      for (const name of ['QX_S.PV', 'QX_S.SP', 'QX_S.OP', 'QX_S.K', 'QX_S.T1', 'QX_S.PVEUHI']) {
        assert.match(recorder.latest[name], /^-?\d+(\.\d+)?(E[+-]?\d+)?$/, `${name} is a number`);
      }
      // Loop values that both items carry are published together.
      assert.equal(recorder.latest['QX_S.CO'], recorder.latest['QX_S.OP']);
      assert.equal(recorder.latest['QX_S.KP'], recorder.latest['QX_S.K']);
      assert.equal(recorder.latest['QX_S.KI'], recorder.latest['QX_S.T1']);
      // Changes keep arriving at the run's pace, not all at once.
      const pv = recorder.changes['QX_S.PV'];
      const spanMs = pv[pv.length - 1].arrivedMs - pv[0].arrivedMs;
      assert.ok(spanMs >= 150, `10 publications spread over ${spanMs} ms`);
      assert.equal(server.child.exitCode, null, 'qxsim still runs');
      assert.equal(await stopServer(server), 0, 'SIGTERM ends qxsim cleanly');
    },
  },
  {
    name: 'writing "2.5" to QX_S.PROP sets the gain: QX_S.K, QX_S.KP and QX_S.PROP read "2.5"',
    run: async (scope) => {
      const { session, recorder } = await runningLoop(scope);
      assert.notEqual(recorder.latest['QX_S.K'], '2.5', 'the case does not start with gain 2.5');
      const status = await writeValue(session, 'QX_S.PROP', DataType.String, '2.5');
      assert.equal(status.name, 'Good');
      await waitUntil('QX_S.K and QX_S.KP publishing "2.5"',
        () => recorder.latest['QX_S.K'] === '2.5' && recorder.latest['QX_S.KP'] === '2.5');
      for (const name of ['QX_S.K', 'QX_S.KP', 'QX_S.PROP']) assert.equal(await readText(session, name), '2.5', name);
    },
  },
  {
    name: 'writing the Int32 7 to QX_S.INTG sets the integral term: QX_S.T1 and QX_S.KI read "7"',
    run: async (scope) => {
      const { session, recorder } = await runningLoop(scope);
      assert.notEqual(recorder.latest['QX_S.T1'], '7', 'the case does not start with 7');
      const status = await writeValue(session, 'QX_S.INTG', DataType.Int32, 7);
      assert.equal(status.name, 'Good');
      await waitUntil('QX_S.T1 and QX_S.KI publishing "7"',
        () => recorder.latest['QX_S.T1'] === '7' && recorder.latest['QX_S.KI'] === '7');
      assert.equal(await readText(session, 'QX_S.INTG'), '7');
    },
  },
  {
    name: 'a text that is not a finite single ("abc", "1e99", "", "nan") is refused and the gain stays',
    run: async (scope) => {
      const { session, recorder } = await runningLoop(scope);
      assert.equal((await writeValue(session, 'QX_S.PROP', DataType.String, '2.5')).name, 'Good');
      await waitUntil('QX_S.K publishing "2.5"', () => recorder.latest['QX_S.K'] === '2.5');
      const before = Date.now();
      for (const text of ['abc', '1e99', '', 'nan', '2.5x']) {
        const status = await writeValue(session, 'QX_S.PROP', DataType.String, text);
        assert.ok(status.isBad(), `writing "${text}" gives a Bad status, not ${status.name}`);
        assert.equal(await readText(session, 'QX_S.PROP'), '2.5', `QX_S.PROP keeps its text after "${text}"`);
      }
      await secondPublicationAfter(session, before);
      for (const name of ['QX_S.K', 'QX_S.KP', 'QX_S.PROP']) assert.equal(await readText(session, name), '2.5', name);
      assert.ok(recorder.changes['QX_S.K'].every((c) => c.value !== 'abc'));
    },
  },
  {
    name: 'a write to QX_S.SP changes nothing in the loop and the next publication overwrites it',
    run: async (scope) => {
      const { session, recorder } = await runningLoop(scope);
      const setPoint = recorder.latest['QX_S.SP'];
      const status = await writeValue(session, 'QX_S.SP', DataType.String, '12345');
      assert.equal(status.name, 'Good', 'the item is writable');
      await secondPublicationAfter(session, Date.now());
      assert.equal(await readText(session, 'QX_S.SP'), setPoint, 'the publication overwrote the written text');
      await waitUntil('the subscription to see "12345" and then the set point again', () => {
        const values = recorder.changes['QX_S.SP'].map((c) => c.value);
        const written = values.indexOf('12345');
        return written >= 0 && values.slice(written + 1).includes(setPoint);
      });
      assert.equal(recorder.latest['QX_S.K'], recorder.latest['QX_S.PROP'], 'the gain is untouched');
    },
  },
  {
    name: 'under a locale with "," the written "2,5" sets the gain and publications carry "2,5"',
    run: async (scope) => {
      const { session, recorder } = await runningLoop(scope, { LC_ALL: 'de_DE.UTF-8' });
      assert.equal((await writeValue(session, 'QX_S.PROP', DataType.String, '2.5')).name, 'BadTypeMismatch',
        'a "." is no separator here');
      assert.equal((await writeValue(session, 'QX_S.PROP', DataType.String, '2,5')).name, 'Good');
      await waitUntil('QX_S.K publishing "2,5"', () => recorder.latest['QX_S.K'] === '2,5');
      assert.equal((await writeValue(session, 'QX_S.INTG', DataType.Double, 7.25)).name, 'Good');
      await waitUntil('QX_S.T1 publishing "7,25"', () => recorder.latest['QX_S.T1'] === '7,25');
    },
  },
  {
    name: 'the written gain reaches the panel: a later Enter (re-reading the edits) keeps "2.5"',
    run: async (scope) => {
      // Enter at step 300, about 6 s into the run: the tuning edits are read
      // again, and PSingle must hold what the write put there.
      const server = scope.add(await startQxsim([...kSlowRun, '--at', '300:enter']), stopServer);
      const peer = scope.add(await openSession(server.endpoint), closeSession);
      const recorder = await recordChanges(peer.session, ['QX_S.K', 'QX_S.PV']);
      await waitUntil('a first publication', () => recorder.latest['QX_S.K'] !== undefined && recorder.latest['QX_S.K'] !== 'empty');
      assert.equal((await writeValue(peer.session, 'QX_S.PROP', DataType.String, '2.5')).name, 'Good');
      await waitUntil('QX_S.K publishing "2.5"', () => recorder.latest['QX_S.K'] === '2.5');
      // PV changes at every sample, every second step.
      assert.ok(recorder.changes['QX_S.PV'].length < 100, 'the write came well before the Enter');
      const written = recorder.changes['QX_S.K'].length;
      await waitUntil('the run to pass step 300', () => recorder.changes['QX_S.PV'].length >= 170, 20000);
      assert.deepEqual(recorder.changes['QX_S.K'].slice(written - 1).map((c) => c.value), ['2.5'],
        'the gain after the Enter');
    },
  },
];

'use strict';
// The loop's alarms as conditions of the running simulator: qxsim runs a case
// whose companion file sets a PV high limit, a client steps the set point
// past it, sees the level alarm go active on the loop object, acknowledges
// it with a comment, confirms it and refreshes; the simulator's own
// transition log shows the acknowledgment and the confirmation.
const assert = require('node:assert/strict');
const { AttributeIds, DataType, Variant, resolveNodeId } = require('node-opcua');
const { startQxsim, stopServer } = require('../lib/processes');
const { itemNodeId, openSession, closeSession, waitUntil } = require('../lib/client');
const {
  subscribeToAlarms, call, answer, refresh, alarmCase, loggedTransitions: transitions,
} = require('../lib/alarms');

const kHighLimit = 60;  // the starting case settles at PV 50
const kSlowRun = ['--set', 'RunControl.SleepMs=20', '--set', 'RunControl.SpeedLevel=0', '--seed', '7'];

const stepSetPoint = (session, delta) => call(session, itemNodeId('Loop'), itemNodeId('Loop.StepSetPoint'),
  [new Variant({ dataType: DataType.Double, value: delta })]);
const kAcknowledge = 'AcknowledgeableConditionType_Acknowledge';
const kConfirm = 'AcknowledgeableConditionType_Confirm';

module.exports = [
  {
    name: 'the running loop\'s level alarm is acknowledged, confirmed and refreshed by a client, and qxsim logs it',
    run: async (scope) => {
      const { casePath, log } = alarmCase(scope, `pv.high = ${kHighLimit}\npv.deadband = 1\n`);
      const server = scope.add(await startQxsim([casePath, ...kSlowRun, '--alarms', log]), stopServer);
      const { session } = scope.add(await openSession(server.endpoint), closeSession);

      // Events reach the Server object, Objects and the loop: each is a notifier.
      for (const node of [resolveNodeId('Server'), resolveNodeId('ObjectsFolder'), itemNodeId('Loop')]) {
        const [notifier] = await session.read([{ nodeId: node, attributeId: AttributeIds.EventNotifier }]);
        assert.equal(notifier.value.value & 1, 1, `${node.toString()} has SubscribeToEvents`);
      }
      const { subscription, next } = await subscribeToAlarms(session,
        { notifier: itemNodeId('Loop'), type: 'ExclusiveLevelAlarmType', timeoutMs: 15000 });

      assert.equal(await stepSetPoint(session, 30), 'Good');
      const active = await next((e) => e.ActiveState === true, 'with the level alarm active');
      assert.equal(active.ConditionName, 'LevelAlarm');
      assert.equal(active.ConditionId.toString(), 'ns=1;s=Loop.LevelAlarm');
      assert.equal(active.SourceName, 'Loop');
      assert.equal(active.SourceNode.toString(), 'ns=1;s=Loop');
      assert.equal(active.EventType.toString(), resolveNodeId('ExclusiveLevelAlarmType').toString());
      assert.equal(active.HighLimit, kHighLimit);
      assert.equal(active.LimitState.text, 'High');
      assert.equal(active.Severity, 500, 'the default severity of the high limit');
      assert.match(active.Message.text, new RegExp(`^PV high: [\\d.]+ > ${kHighLimit}$`));
      assert.equal(active.AckedState, false);
      assert.equal(active.Retain, true);
      assert.ok(active.Time instanceof Date && active.ReceiveTime instanceof Date);

      // A confirmation before the acknowledgment and a made-up EventId are refused.
      assert.equal(await answer(session, active, kConfirm, active.EventId, 'too early'), 'BadInvalidState');
      assert.equal(await answer(session, active, kAcknowledge, Buffer.alloc(16, 7), 'x'), 'BadEventIdUnknown');
      assert.equal(await answer(session, active, kAcknowledge, active.EventId, 'seen on the console'), 'Good');
      const acked = await next((e) => e.AckedState === true, 'with the level alarm acknowledged');
      assert.equal(acked.Comment.text, 'seen on the console');
      assert.equal(acked.ActiveState, true);
      assert.equal(await answer(session, acked, kAcknowledge, acked.EventId, 'again'),
        'BadConditionBranchAlreadyAcked');
      // The simulator took it: its own log of the run shows it.
      await waitUntil('the acknowledgment in qxsim\'s log', () => transitions(log).includes('level,acked'), 5000);

      assert.equal(await answer(session, acked, kConfirm, acked.EventId, 'logged'), 'Good');
      const confirmed = await next((e) => e.ConfirmedState === true, 'with the level alarm confirmed');
      assert.equal(confirmed.Retain, true, 'still active, so still retained');
      await waitUntil('the confirmation in qxsim\'s log', () => transitions(log).includes('level,confirmed'), 5000);

      // A refresh sends the retained state again, with its EventId.
      assert.equal(await refresh(session, subscription), 'Good');
      const refreshed = await next((e) => e.ConditionName === 'LevelAlarm', 'from the refresh');
      assert.deepEqual(refreshed.EventId, confirmed.EventId);

      assert.equal(await stepSetPoint(session, -30), 'Good');
      const normal = await next((e) => e.ActiveState === false, 'with the level alarm back to normal');
      assert.equal(normal.Retain, false, 'normal, acknowledged and confirmed: no longer retained');
      assert.equal(await answer(session, normal, kAcknowledge, normal.EventId, 'late'),
        'BadConditionBranchAlreadyAcked');
      assert.deepEqual(transitions(log), ['level,high', 'level,acked', 'level,confirmed', 'level,normal']);
    },
  },
];

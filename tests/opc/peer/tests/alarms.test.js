'use strict';
// Alarms and conditions as node-opcua sees them: an event item with select
// and where clauses on the Server object, an alarm going active,
// acknowledged with a comment, confirmed, refreshed, and the refusals of a
// wrong EventId and of a second acknowledgment.
const assert = require('node:assert/strict');
const { resolveNodeId, DataType, Variant } = require('node-opcua');
const { startAlarmFixture, stopServer } = require('../lib/processes');
const { command } = require('../lib/fixture');
const { openSession, closeSession } = require('../lib/client');
const { subscribeToAlarms, call, answer } = require('../lib/alarms');

module.exports = [
  {
    name: 'an alarm is seen active, acknowledged with a comment, confirmed and refreshed by a client',
    run: async (scope) => {
      const server = scope.add(await startAlarmFixture(), stopServer);
      const { session } = scope.add(await openSession(server.endpoint), closeSession);
      const { subscription, next } = await subscribeToAlarms(session);

      assert.equal(await command(server, 'high'), 'high');
      const active = await next((e) => e.ActiveState === true, 'with the alarm active');
      assert.equal(active.ConditionName, 'LevelAlarm');
      assert.equal(active.SourceName, 'Loop');
      assert.equal(active.Severity, 700);
      assert.equal(active.Message.text, 'PV high: 82.5 > 80');
      assert.equal(active.HighLimit, 80);
      assert.equal(active.LimitState.text, 'High');
      assert.equal(active.AckedState, false);
      assert.equal(active.Retain, true);
      assert.equal(active.NoSuchField, null, 'an unknown field is null');
      assert.equal(active.EventType.toString(), resolveNodeId('ExclusiveLevelAlarmType').toString());
      assert.equal(active.ConditionId.toString(), 'ns=1;s=Loop.LevelAlarm');

      const wrong = Buffer.alloc(16, 7);
      assert.equal(await answer(session, active, 'AcknowledgeableConditionType_Acknowledge', wrong, 'x'),
        'BadEventIdUnknown');
      assert.equal(await answer(session, active, 'AcknowledgeableConditionType_Acknowledge',
        active.EventId, 'seen from node-opcua'), 'Good');
      const acked = await next((e) => e.AckedState === true, 'with the alarm acknowledged');
      assert.equal(acked.Comment.text, 'seen from node-opcua');
      assert.notDeepEqual(acked.EventId, active.EventId, 'the acknowledgment is a new event');
      assert.equal(await answer(session, acked, 'AcknowledgeableConditionType_Acknowledge',
        acked.EventId, 'again'), 'BadConditionBranchAlreadyAcked');
      // The application took the acknowledgment and its comment.
      assert.equal(await command(server, 'state'), 'active 1 acked 1 confirmed 0 comment seen from node-opcua');

      assert.equal(await answer(session, acked, 'AcknowledgeableConditionType_Confirm', acked.EventId, 'done'),
        'Good');
      const confirmed = await next((e) => e.ConfirmedState === true, 'with the alarm confirmed');
      assert.equal(confirmed.Retain, true, 'still active, so still retained');

      // A refresh sends the retained state again, with the same EventId.
      assert.equal(await call(session, resolveNodeId('ConditionType'), 'ConditionType_ConditionRefresh',
        [new Variant({ dataType: DataType.UInt32, value: subscription.subscriptionId })]), 'Good');
      const refreshed = await next((e) => e.ConditionName === 'LevelAlarm', 'from the refresh');
      assert.deepEqual(refreshed.EventId, confirmed.EventId);
      assert.equal(refreshed.ConfirmedState, true);

      assert.equal(await command(server, 'normal'), 'normal');
      const normal = await next((e) => e.ActiveState === false, 'with the alarm back to normal');
      assert.equal(normal.Retain, false, 'inactive, acknowledged and confirmed: no longer retained');
      assert.equal(await answer(session, normal, 'AcknowledgeableConditionType_Acknowledge',
        normal.EventId, 'late'), 'BadConditionBranchAlreadyAcked');
    },
  },
];

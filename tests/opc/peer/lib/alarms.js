'use strict';
// Alarm events as a node-opcua client meets them: an event item with select
// clauses and an OfType where clause, the events it brings, and the
// Acknowledge, Confirm and ConditionRefresh calls.
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const {
  AttributeIds, ContentFilterElement, DataType, FilterOperator, LiteralOperand, TimestampsToReturn, Variant,
  constructEventFilter, resolveNodeId,
} = require('node-opcua');
const { programPath } = require('./processes');

const kAlarmFields = ['EventId', 'EventType', 'SourceName', 'Message', 'Severity', 'ConditionName',
  'ActiveState.Id', 'AckedState.Id', 'ConfirmedState.Id', 'Retain', 'Comment', 'HighLimit',
  'LimitState.CurrentState', 'NoSuchField', 'ConditionId', 'SourceNode', 'Time', 'ReceiveTime'];
const kEventTimeoutMs = 5000;

// Records the events of one event item on `notifier` (the Server object by
// default) that are of `type` or a subtype; next(predicate, what) resolves
// with the first event that satisfies it, waiting for it if needed.
async function subscribeToAlarms(session, { notifier = 'Server', type = 'AlarmConditionType',
  timeoutMs = kEventTimeoutMs } = {}) {
  const subscription = await session.createSubscription2({
    requestedPublishingInterval: 50, requestedMaxKeepAliveCount: 20, requestedLifetimeCount: 200,
    maxNotificationsPerPublish: 0, publishingEnabled: true, priority: 1,
  });
  const ofType = new ContentFilterElement({
    filterOperator: FilterOperator.OfType,
    filterOperands: [new LiteralOperand({
      value: new Variant({ dataType: DataType.NodeId, value: resolveNodeId(type) }),
    })],
  });
  const events = [];
  const waiters = [];
  const item = await subscription.monitor(
    { nodeId: resolveNodeId(notifier), attributeId: AttributeIds.EventNotifier },
    { queueSize: 100, filter: constructEventFilter(kAlarmFields, ofType), discardOldest: true },
    TimestampsToReturn.Neither);
  const status = item.statusCode ? item.statusCode.name : 'Good';
  if (status !== 'Good') throw new Error(`the event item on ${notifier}: ${status}`);
  item.on('changed', (fields) => {
    // Keyed by the first browse name: 'ActiveState.Id' is event.ActiveState.
    const event = Object.fromEntries(kAlarmFields.map((name, i) => [name.split('.')[0], fields[i].value]));
    events.push(event);
    for (const waiter of waiters.splice(0)) waiter();
  });
  async function next(predicate, what) {
    const deadline = Date.now() + timeoutMs;
    for (;;) {
      const index = events.findIndex(predicate);
      if (index >= 0) return events.splice(0, index + 1).pop();
      const left = deadline - Date.now();
      if (left <= 0) throw new Error(`no event ${what} within ${timeoutMs} ms`);
      await new Promise((resolve) => {
        const timer = setTimeout(resolve, left);
        waiters.push(() => { clearTimeout(timer); resolve(); });
      });
    }
  }
  return { subscription, next };
}

// A method call's status name.
async function call(session, objectId, methodId, inputArguments) {
  const result = await session.call({ objectId, methodId: resolveNodeId(methodId), inputArguments });
  return result.statusCode.name;
}

// Acknowledges or confirms (`method`) the state `event` reported, by
// `eventId`, with a comment.
function answer(session, event, method, eventId, comment) {
  return call(session, event.ConditionId, method, [
    new Variant({ dataType: DataType.ByteString, value: eventId }),
    new Variant({ dataType: DataType.LocalizedText, value: { text: comment } }),
  ]);
}

// ConditionRefresh of a subscription, called on the Server object.
function refresh(session, subscription) {
  return call(session, resolveNodeId('Server'), 'ConditionType_ConditionRefresh',
    [new Variant({ dataType: DataType.UInt32, value: subscription.subscriptionId })]);
}

// The starting case in a fresh folder (removed with `scope`) with the
// companion file text `limits`; the path of the case and of a transition
// log for qxsim's --alarms.
function alarmCase(scope, limits) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'qx-alarms-'));
  scope.add(folder, (f) => fs.rmSync(f, { recursive: true, force: true }));
  const casePath = path.join(folder, 'Alarmed.pid');
  execFileSync(programPath('QXSIM'), ['run', '--steps', '0', '--save-case', casePath],
    { env: { ...process.env, LC_ALL: 'C' }, stdio: 'ignore' });
  fs.writeFileSync(`${casePath}.alarms`, limits);
  return { casePath, log: path.join(folder, 'transitions.csv') };
}

// The rows "alarm,state" of a transition log so far.
function loggedTransitions(log) {
  if (!fs.existsSync(log)) return [];
  return fs.readFileSync(log, 'utf8').trim().split('\n').slice(1)
    .map((row) => row.split(',').slice(1, 3).join(','));
}

module.exports = { subscribeToAlarms, call, answer, refresh, alarmCase, loggedTransitions };

'use strict';
// Clients that lose their connection keep their subscriptions: node-opcua
// reconnects through a relay whose connections the test cuts, and another
// session takes a subscription over with TransferSubscriptions.
const assert = require('node:assert/strict');
const {
  OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, TimestampsToReturn, StatusCodes,
  TransferSubscriptionsRequest,
} = require('node-opcua');
const { startQxsim, stopServer } = require('../lib/processes');
const { startProxy } = require('../lib/proxy');
const {
  itemNodeId, openSession, closeSession, waitUntil, sleep,
} = require('../lib/client');

// About 25 publications a second; PV noise makes every one a change.
const kSlowRun = ['--set', 'RunControl.SleepMs=20', '--set', 'RunControl.SpeedLevel=0',
  '--set', 'SingleLoop.PVNoise=0.01', '--seed', '7'];

function portOf(endpoint) {
  return Number(endpoint.split(':').pop());
}

// A subscription to QX_S.PV that records the sequence number of every data
// message it gets, whether published or republished.
async function watchPv(session) {
  const subscription = await session.createSubscription2({
    requestedPublishingInterval: 50,
    requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 20,
    maxNotificationsPerPublish: 0,
    publishingEnabled: true,
    priority: 1,
  });
  const watch = { subscription, sequenceNumbers: [], values: 0, statusChanges: [] };
  subscription.on('raw_notification', (message) => {
    if ((message.notificationData || []).length > 0) watch.sequenceNumbers.push(message.sequenceNumber);
  });
  subscription.on('status_changed', (status) => watch.statusChanges.push(status));
  const item = await subscription.monitor(
    { nodeId: itemNodeId('QX_S.PV'), attributeId: AttributeIds.Value },
    { samplingInterval: 0, queueSize: 1000, discardOldest: true },
    TimestampsToReturn.Both);
  item.on('changed', () => { watch.values += 1; });
  return watch;
}

// The numbers missing between the lowest and the highest one seen.
function gaps(numbers) {
  const seen = new Set(numbers);
  const missing = [];
  for (let n = Math.min(...numbers); n <= Math.max(...numbers); ++n) if (!seen.has(n)) missing.push(n);
  return missing;
}

// A node-opcua client connected through `proxy`, reconnecting by itself,
// with a session that watches QX_S.PV.
async function reconnectingClient(scope, proxy) {
  const client = OPCUAClient.create({
    endpointMustExist: false,
    securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None,
    connectionStrategy: { maxRetry: 20, initialDelay: 100, maxDelay: 500 },
    requestedSessionTimeout: 60000,
    keepSessionAlive: false,
  });
  const peer = { client, reconnections: 0 };
  client.on('after_reconnection', () => { peer.reconnections += 1; });
  await client.connect(proxy.endpoint);
  scope.add(client, (c) => c.disconnect());
  peer.session = await client.createSession();
  scope.add(peer.session, (s) => s.close().catch(() => {}));
  peer.watch = await watchPv(peer.session);
  await waitUntil('5 data messages', () => peer.watch.sequenceNumbers.length >= 5);
  return peer;
}

// Cuts the connection and checks that the client goes on with the same
// subscription and gets every data message, through Republish if need be.
async function cutAndCheck(peer, proxy) {
  const { watch } = peer;
  const subscriptionId = watch.subscription.subscriptionId;
  proxy.cut();
  const cutAt = Math.max(...watch.sequenceNumbers);
  await waitUntil('a reconnection', () => peer.reconnections > 0, 15000);
  await waitUntil('10 more data messages after the cut',
    () => Math.max(...watch.sequenceNumbers) >= cutAt + 10, 15000);
  assert.equal(watch.subscription.subscriptionId, subscriptionId, 'the subscription id is kept');
  assert.deepEqual(gaps(watch.sequenceNumbers), [], `sequence numbers ${watch.sequenceNumbers.join(',')}`);
}

module.exports = [
  {
    name: 'a client whose connection is cut re-activates its session and misses no message',
    run: async (scope) => {
      const server = scope.add(await startQxsim(kSlowRun), stopServer);
      const proxy = scope.add(await startProxy(portOf(server.endpoint)), (p) => p.close());
      const peer = await reconnectingClient(scope, proxy);
      const sessionId = peer.session.sessionId.toString();
      await cutAndCheck(peer, proxy);
      assert.equal(peer.session.sessionId.toString(), sessionId, 'the same session goes on');
      assert.equal(server.child.exitCode, null, 'qxsim still runs');
    },
  },
  {
    name: 'a client that cannot re-activate its session transfers its subscription to a new one',
    run: async (scope) => {
      const server = scope.add(await startQxsim(kSlowRun), stopServer);
      const proxy = scope.add(await startProxy(portOf(server.endpoint)), (p) => p.close());
      const peer = await reconnectingClient(scope, proxy);
      const sessionId = peer.session.sessionId.toString();
      // The first re-activation after the cut fails, as against a server
      // that ties a session to its channel: the client then creates a new
      // session and asks for TransferSubscriptions.
      const activate = peer.client._activateSession.bind(peer.client);
      let refused = false;
      peer.client._activateSession = (session, identity, callback) => {
        if (refused) return activate(session, identity, callback);
        refused = true;
        return callback(new Error('re-activation refused by the test'));
      };
      await cutAndCheck(peer, proxy);
      assert.ok(refused, 'the client tried to re-activate its session');
      assert.notEqual(peer.session.sessionId.toString(), sessionId, 'a new session took over');
      assert.equal(server.child.exitCode, null, 'qxsim still runs');
    },
  },
  {
    name: 'TransferSubscriptions hands a subscription to another session and tells the old one',
    run: async (scope) => {
      const server = scope.add(await startQxsim(kSlowRun), stopServer);
      const owner = scope.add(await openSession(server.endpoint), closeSession);
      const taker = scope.add(await openSession(server.endpoint), closeSession);
      const watch = await watchPv(owner.session);
      await waitUntil('3 data messages', () => watch.sequenceNumbers.length >= 3);
      const subscriptionId = watch.subscription.subscriptionId;

      const response = await taker.session.transferSubscriptions(new TransferSubscriptionsRequest({
        subscriptionIds: [subscriptionId, 0x7fffffff],
        sendInitialValues: true,
      }));
      assert.equal(response.results.length, 2);
      assert.equal(response.results[0].statusCode.name, 'Good');
      assert.equal(response.results[1].statusCode.name, 'BadSubscriptionIdInvalid');
      await waitUntil('the old session to hear of the transfer', () => watch.statusChanges.length > 0);
      assert.equal(watch.statusChanges[0].value, StatusCodes.GoodSubscriptionTransferred.value);
      // The old session gets no more data for it.
      const count = watch.values;
      await sleep(300);
      assert.equal(watch.values, count);
    },
  },
];

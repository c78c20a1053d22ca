'use strict';
// node-opcua, used as an independent client: sessions, reads, writes and a
// recorder of the data changes of a subscription.
const {
  OPCUAClient, AttributeIds, BrowseDirection, DataType, MessageSecurityMode, SecurityPolicy,
  TimestampsToReturn,
} = require('node-opcua');

const kItemFolder = 'QxOPCServer';

function itemNodeId(name) {
  return `ns=1;s=${name}`;
}

// A client with an activated anonymous session at `endpoint`.
async function openSession(endpoint) {
  const client = OPCUAClient.create({
    endpointMustExist: false,
    securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None,
    connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    requestedSessionTimeout: 60000,
    keepSessionAlive: false,
  });
  await client.connect(endpoint);
  try {
    const session = await client.createSession();
    return { client, session };
  } catch (error) {
    await client.disconnect();
    throw error;
  }
}

async function closeSession(peer) {
  if (!peer) return;
  try {
    await peer.session.close();
  } finally {
    await peer.client.disconnect();
  }
}

// The forward hierarchical references of a node.
async function browseChildren(session, nodeId) {
  const result = await session.browse({
    nodeId,
    browseDirection: BrowseDirection.Forward,
    referenceTypeId: 'HierarchicalReferences',
    includeSubtypes: true,
    nodeClassMask: 0,
    resultMask: 63,
  });
  if (!result.statusCode.isGood()) throw new Error(`browse of ${nodeId}: ${result.statusCode.name}`);
  return result.references;
}

async function readValues(session, names) {
  const values = await session.read(names.map((name) => ({ nodeId: itemNodeId(name), attributeId: AttributeIds.Value })));
  return values;
}

async function readText(session, name) {
  const [value] = await readValues(session, [name]);
  if (!value.statusCode.isGood()) throw new Error(`read of ${name}: ${value.statusCode.name}`);
  return value.value.value;
}

// Writes one value of the given data type; resolves with the StatusCode.
function writeValue(session, name, dataType, value) {
  return session.write({
    nodeId: itemNodeId(name),
    attributeId: AttributeIds.Value,
    value: { value: { dataType, value } },
  });
}

// Subscribes to `names` (sampling interval 0, publishing interval 50 ms) and
// keeps every change that arrives: `changes[name]` lists
// { value, sourceMs, arrivedMs }, `latest[name]` is the last value.
async function recordChanges(session, names, publishingIntervalMs = 50) {
  const subscription = await session.createSubscription2({
    requestedPublishingInterval: publishingIntervalMs,
    requestedLifetimeCount: 600,
    requestedMaxKeepAliveCount: 20,
    maxNotificationsPerPublish: 0,
    publishingEnabled: true,
    priority: 1,
  });
  const recorder = { subscription, changes: {}, latest: {}, total: 0 };
  for (const name of names) recorder.changes[name] = [];
  const group = await subscription.monitorItems(
    names.map((name) => ({ nodeId: itemNodeId(name), attributeId: AttributeIds.Value })),
    { samplingInterval: 0, queueSize: 1000, discardOldest: true },
    TimestampsToReturn.Both);
  group.on('changed', (_item, dataValue, index) => {
    const name = names[index];
    const change = {
      value: dataValue.value.value,
      sourceMs: dataValue.sourceTimestamp ? dataValue.sourceTimestamp.getTime() : 0,
      arrivedMs: Date.now(),
    };
    recorder.changes[name].push(change);
    recorder.latest[name] = change.value;
    recorder.total += 1;
  });
  recorder.group = group;
  return recorder;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Polls `condition` (which may be async) every 20 ms until it holds; fails
// naming `what` after `timeoutMs`.
async function waitUntil(what, condition, timeoutMs = 5000) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    if (await condition()) return;
    if (Date.now() >= deadline) throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
    await sleep(20);
  }
}

// The source time of the latest publication as a read shows it (every
// publication stamps every item, changed or not).
async function publicationTime(session) {
  const [value] = await readValues(session, ['DUMMYTAG.PV']);
  return value.sourceTimestamp ? value.sourceTimestamp.getTime() : 0;
}

// Waits until two publications have been made after `afterMs`, so that the
// later one was built after anything done before `afterMs`.
async function secondPublicationAfter(session, afterMs, timeoutMs = 5000) {
  let first = 0;
  await waitUntil(`a publication after ${new Date(afterMs).toISOString()}`, async () => {
    first = await publicationTime(session);
    return first > afterMs;
  }, timeoutMs);
  await waitUntil('a second publication', async () => (await publicationTime(session)) > first, timeoutMs);
}

module.exports = {
  AttributeIds, DataType, kItemFolder, itemNodeId, openSession, closeSession, browseChildren,
  readValues, readText, writeValue, recordChanges, waitUntil, secondPublicationAfter, sleep,
};

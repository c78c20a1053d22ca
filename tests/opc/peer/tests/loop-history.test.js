'use strict';
// The history of the loop object's PV, SP and OP: a run at full speed past
// the trend buffer's compaction and the run clock's wrap, read raw in pages
// with continuation points and processed, bounded by --history; a new run
// starts a new history.
const assert = require('node:assert/strict');
const {
  AttributeIds, HistoryReadRequest, ReadRawModifiedDetails, TimestampsToReturn, AggregateFunction,
} = require('node-opcua');
const { startQxsim, stopServer } = require('../lib/processes');
const { openSession, closeSession, waitUntil } = require('../lib/client');

const kKept = 5000;
// 60 000 steps: 30 000 time units, past the clock's wrap at 25 045 and past
// the trend buffer's compaction; 30 000 samples, more than are kept.
const kFastRun = ['--set', 'RunControl.SleepMs=0', '--set', 'RunControl.SpeedLevel=0', '--seed', '7',
  '--steps', '60000', '--history', String(kKept), '--serve-after', '60'];
const kClockWrap = 25045;

const loopId = (name) => `ns=1;s=Loop${name ? `.${name}` : ''}`;

async function readLoop(session, name) {
  const [value] = await session.read([{ nodeId: loopId(name), attributeId: AttributeIds.Value }]);
  return value.value.value;
}

// One raw read of `name` from `start` to `end`; the result of its node.
async function rawPage(session, name, start, end, count, continuationPoint = null, release = false) {
  const response = await session.historyRead(new HistoryReadRequest({
    historyReadDetails: new ReadRawModifiedDetails({
      isReadModified: false, startTime: start, endTime: end, numValuesPerNode: count, returnBounds: false,
    }),
    timestampsToReturn: TimestampsToReturn.Source,
    releaseContinuationPoints: release,
    nodesToRead: [{ nodeId: loopId(name), continuationPoint }],
  }));
  assert.ok(response.responseHeader.serviceResult.isGood(), response.responseHeader.serviceResult.name);
  return response.results[0];
}

// Every value of the range, page by page.
async function rawAll(session, name, start, end, pageSize) {
  const values = [];
  let page = await rawPage(session, name, start, end, pageSize);
  let pages = 1;
  for (;;) {
    assert.ok(page.statusCode.isGood(), page.statusCode.name);
    values.push(...page.historyData.dataValues);
    if (!page.continuationPoint || page.continuationPoint.length === 0) break;
    page = await rawPage(session, name, start, end, pageSize, page.continuationPoint);
    pages += 1;
  }
  return { values, pages };
}

module.exports = [
  {
    name: 'PV history across compaction and the clock wrap: pages with continuation points, aggregates, a new run',
    run: async (scope) => {
      const server = scope.add(await startQxsim(kFastRun), stopServer);
      const { session } = scope.add(await openSession(server.endpoint), closeSession);
      await waitUntil('the run to end', async () => (await readLoop(session, 'Running')) === false
        && (await readLoop(session, 't')) > 0, 30000);
      const clock = await readLoop(session, 't');
      assert.ok(clock < 60000 * 0.5 - kClockWrap + 1, `the clock wrapped (t = ${clock})`);

      const start = new Date(Date.now() - 3600 * 1000);
      const end = new Date(Date.now() + 1000);
      const whole = await rawAll(session, 'PV', start, end, 0);
      assert.equal(whole.values.length, kKept, 'the newest --history values are kept');
      const paged = await rawAll(session, 'PV', start, end, 700);
      assert.equal(paged.pages, Math.ceil(kKept / 700));
      assert.deepEqual(paged.values.map((v) => v.value.value), whole.values.map((v) => v.value.value),
        'the pages join up without gaps or repeats');
      const times = whole.values.map((v) => v.sourceTimestamp.getTime());
      for (let i = 1; i < times.length; ++i) assert.ok(times[i] >= times[i - 1], `value ${i} in time order`);
      assert.equal(whole.values[kKept - 1].value.value, await readLoop(session, 'PV'), 'the newest is the last PV');

      // Backwards: the start after the end gives the newest first.
      const backwards = await rawPage(session, 'PV', end, start, 10);
      assert.deepEqual(backwards.historyData.dataValues.map((v) => v.value.value),
        whole.values.slice(-10).reverse().map((v) => v.value.value));

      const pvs = whole.values.map((v) => v.value.value);
      const [count, minimum, maximum, average] = await Promise.all(
        [AggregateFunction.Count, AggregateFunction.Minimum, AggregateFunction.Maximum, AggregateFunction.Average]
          .map(async (fn) => (await session.readAggregateValue([{ nodeId: loopId('PV') }], start, end, fn, 0))[0]));
      assert.equal(count.historyData.dataValues[0].value.value, kKept);
      assert.equal(minimum.historyData.dataValues[0].value.value, Math.min(...pvs));
      assert.equal(maximum.historyData.dataValues[0].value.value, Math.max(...pvs));
      const mean = pvs.reduce((a, b) => a + b, 0) / pvs.length;
      assert.ok(Math.abs(average.historyData.dataValues[0].value.value - mean) <= 1e-9 * Math.max(1, Math.abs(mean)));

      // A continuation point of the old run's history is invalid in the new run's.
      const first = await rawPage(session, 'SP', start, end, 100);
      assert.ok(first.continuationPoint && first.continuationPoint.length > 0);
      const startedAt = Date.now();
      const call = await session.call({ objectId: loopId(), methodId: loopId('StartRun'), inputArguments: [] });
      assert.equal(call.statusCode.name, 'Good');
      // The oldest value kept comes from the new run once it has begun.
      const later = new Date(Date.now() + 600 * 1000);
      await waitUntil('the new run\'s history', async () => {
        const oldest = (await rawPage(session, 'OP', start, later, 1)).historyData;
        return oldest && oldest.dataValues.length === 1 && oldest.dataValues[0].sourceTimestamp.getTime() >= startedAt;
      }, 30000);
      const stale = await rawPage(session, 'SP', start, end, 100, first.continuationPoint);
      assert.equal(stale.statusCode.name, 'BadContinuationPointInvalid');
    },
  },
];

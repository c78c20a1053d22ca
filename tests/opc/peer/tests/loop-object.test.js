'use strict';
// The loop object ns=1;s=Loop: typed variables with their ranges and units,
// published with the items, and writes that act as the operator's edits and
// mode panel, allowed and refused, with the loop's state afterwards.
const assert = require('node:assert/strict');
const { AttributeIds, DataType, StatusCodes } = require('node-opcua');
const { startQxsim, stopServer } = require('../lib/processes');
const {
  itemNodeId, openSession, closeSession, readText, secondPublicationAfter, browseChildren, waitUntil,
} = require('../lib/client');

const kSlowRun = ['--set', 'RunControl.SleepMs=20', '--set', 'RunControl.SpeedLevel=0', '--seed', '7'];

const loopId = (name) => itemNodeId(name ? `Loop.${name}` : 'Loop');

async function readLoop(session, name, attributeId = AttributeIds.Value) {
  const [value] = await session.read([{ nodeId: loopId(name), attributeId }]);
  if (!value.statusCode.isGood()) throw new Error(`read of Loop.${name}: ${value.statusCode.name}`);
  return value;
}

async function property(session, variable, browseName) {
  const references = await browseChildren(session, loopId(variable));
  const found = references.find((r) => r.browseName.name === browseName);
  if (!found) return undefined;
  const [value] = await session.read([{ nodeId: found.nodeId, attributeId: AttributeIds.Value }]);
  return value.value.value;
}

async function writeLoop(session, name, dataType, value) {
  const status = await session.write({
    nodeId: loopId(name), attributeId: AttributeIds.Value, value: { value: { dataType, value } },
  });
  return status.name;
}

async function call(session, method, inputArguments = []) {
  const result = await session.call({ objectId: loopId(), methodId: loopId(method), inputArguments });
  return result.statusCode.name;
}
const real = (value) => ({ dataType: DataType.Double, value });
const whole = (value) => ({ dataType: DataType.Int32, value });

// The run clock's advance over `ms` milliseconds.
async function clockAdvance(session, ms) {
  const start = (await readLoop(session, 't')).value.value;
  await new Promise((resolve) => setTimeout(resolve, ms));
  return (await readLoop(session, 't')).value.value - start;
}

// After a write or call: two publications, so that the GUI thread has
// delivered it and a sample has shown its effect.
const settle = (session) => secondPublicationAfter(session, Date.now());

module.exports = [
  {
    name: 'the loop object has typed variables with ranges, units and mode texts, published with the items',
    run: async (scope) => {
      const server = scope.add(await startQxsim(kSlowRun), stopServer);
      const { session } = scope.add(await openSession(server.endpoint), closeSession);
      await settle(session);

      const names = (await browseChildren(session, loopId())).map((r) => r.browseName.name);
      for (const name of ['PV', 'SP', 'OP', 'Mode', 'P', 'I', 'D', 'SPNew', 'OPNew', 't', 'Running'])
        assert.ok(names.includes(name), `Loop.${name} is browsed (${names.join(', ')})`);

      const types = { PV: DataType.Double, SP: DataType.Double, OP: DataType.Double, t: DataType.Double,
        P: DataType.Double, Mode: DataType.UInt32, Running: DataType.Boolean };
      for (const [name, type] of Object.entries(types))
        assert.equal((await readLoop(session, name)).value.dataType, type, `Loop.${name}'s type`);

      const cvLow = Number(await readText(session, 'QX_S.PVEULO'));
      const cvHigh = Number(await readText(session, 'QX_S.PVEUHI'));
      for (const name of ['PV', 'SP']) {
        const range = await property(session, name, 'EURange');
        assert.deepEqual([range.low, range.high], [cvLow, cvHigh], `Loop.${name}'s EURange is the CV range`);
      }
      const opRange = await property(session, 'OP', 'EURange');
      assert.deepEqual([opRange.low, opRange.high], [0, 100]);
      const units = await property(session, 'OP', 'EngineeringUnits');
      assert.equal(units.unitId, 20529, 'OP is in percent (UNECE P1)');
      assert.equal(units.displayName.text, '%');
      const texts = await property(session, 'Mode', 'EnumStrings');
      assert.deepEqual(texts.map((t) => t.text), ['Manual', 'Auto', 'Cascade']);

      // One batch: the typed PV and the String item carry the same value and
      // the same source timestamp.
      const [pv, item] = await session.read([
        { nodeId: loopId('PV'), attributeId: AttributeIds.Value },
        { nodeId: itemNodeId('QX_S.PV'), attributeId: AttributeIds.Value },
      ]);
      assert.equal(pv.sourceTimestamp.getTime(), item.sourceTimestamp.getTime());
      assert.ok(Math.abs(pv.value.value - Number(item.value.value)) <= 1e-5 * Math.max(1, Math.abs(pv.value.value)));
      assert.equal((await readLoop(session, 'Running')).value.value, true);
      assert.equal(await writeLoop(session, 'PV', DataType.Double, 1), 'BadNotWritable');
      assert.equal(await writeLoop(session, 't', DataType.Double, 1), 'BadNotWritable');
    },
  },
  {
    name: 'loop object writes act as the operator\'s edits and mode panel, and refused ones change nothing',
    run: async (scope) => {
      const server = scope.add(await startQxsim(kSlowRun), stopServer);
      const { session } = scope.add(await openSession(server.endpoint), closeSession);
      await settle(session);
      const cvHigh = Number(await readText(session, 'QX_S.PVEUHI'));
      const cvLow = Number(await readText(session, 'QX_S.PVEULO'));
      const target = cvLow + 0.625 * (cvHigh - cvLow);

      // Auto: the set point is the operator's, the output is not.
      assert.equal((await readLoop(session, 'Mode')).value.value, 1);
      assert.equal(await writeLoop(session, 'SP', DataType.Double, target), 'Good');
      assert.equal(await writeLoop(session, 'OP', DataType.Double, 30), 'BadNotWritable');
      for (const [value, status] of [[cvHigh + 1, 'BadOutOfRange'], [NaN, 'BadTypeMismatch'],
        [Infinity, 'BadTypeMismatch']])
        assert.equal(await writeLoop(session, 'SP', DataType.Double, value), status, `SP := ${value}`);
      assert.equal(await writeLoop(session, 'SP', DataType.String, '50'), 'BadTypeMismatch');
      assert.equal(await writeLoop(session, 'P', DataType.Double, 2.5), 'Good');
      assert.equal(await writeLoop(session, 'I', DataType.Double, -1), 'BadOutOfRange');
      assert.equal(await writeLoop(session, 'D', DataType.Double, 0.25), 'Good');
      await settle(session);
      assert.equal((await readLoop(session, 'SPNew')).value.value, target);
      assert.equal((await readLoop(session, 'P')).value.value, 2.5);
      assert.equal(await readText(session, 'QX_S.K'), '2.5', 'the item shows the gain written to Loop.P');
      assert.equal((await readLoop(session, 'D')).value.value, 0.25);
      const integral = (await readLoop(session, 'I')).value.value;
      assert.ok(integral > 0, 'the refused write left I alone');

      // Manual: the output is the operator's, the set point is not.
      assert.equal(await writeLoop(session, 'Mode', DataType.UInt32, 0), 'Good');
      await settle(session);
      assert.equal((await readLoop(session, 'Mode')).value.value, 0);
      assert.equal(await readText(session, 'QX_S.MODE'), '1');
      assert.equal(await writeLoop(session, 'OP', DataType.Double, 30), 'Good');
      assert.equal(await writeLoop(session, 'OP', DataType.Double, 100.5), 'BadOutOfRange');
      assert.equal(await writeLoop(session, 'SP', DataType.Double, target), 'BadNotWritable');
      await settle(session);
      assert.equal((await readLoop(session, 'OPNew')).value.value, 30);
      await settle(session);
      assert.equal((await readLoop(session, 'OP')).value.value, 30, 'the loop holds the output in Manual');

      // Cascade: the check box, which puts the loop in Auto.
      assert.equal(await writeLoop(session, 'Mode', DataType.UInt32, 2), 'Good');
      assert.equal(await writeLoop(session, 'Mode', DataType.UInt32, 3), 'BadOutOfRange');
      assert.equal(await writeLoop(session, 'Mode', DataType.Double, 1), 'BadTypeMismatch');
      await settle(session);
      assert.equal((await readLoop(session, 'Mode')).value.value, 2);
      assert.equal(await readText(session, 'QX_S.MODE'), '3');
      assert.equal(await readText(session, 'QX_S.SO'), 'True');
      assert.equal(await writeLoop(session, 'Mode', DataType.UInt32, 1), 'Good');
      await settle(session);
      assert.equal((await readLoop(session, 'Mode')).value.value, 1);
      assert.equal(await readText(session, 'QX_S.MODE'), '2');
    },
  },
  {
    name: 'loop object methods step, pace, stop and start the run, refused where the state forbids them',
    run: async (scope) => {
      const server = scope.add(await startQxsim(kSlowRun), stopServer);
      const { session } = scope.add(await openSession(server.endpoint), closeSession);
      await settle(session);
      const cvHigh = Number(await readText(session, 'QX_S.PVEUHI'));

      // Auto: the set point steps, the output does not.
      const sp = (await readLoop(session, 'SPNew')).value.value;
      assert.equal(await call(session, 'StepSetPoint', [real(1.5)]), 'Good');
      assert.equal(await call(session, 'StepOutput', [real(1)]), 'BadInvalidState');
      assert.equal(await call(session, 'StepSetPoint', [real(NaN)]), 'BadOutOfRange');
      assert.equal(await call(session, 'StepSetPoint', [real(cvHigh * 10 + 1000)]), 'BadOutOfRange');
      assert.equal(await call(session, 'StepSetPoint', []), 'BadArgumentsMissing');
      assert.equal(await call(session, 'StepSetPoint', [whole(1)]), 'BadInvalidArgument');
      assert.equal(await call(session, 'StartRun'), 'BadInvalidState', 'a run is running');
      await settle(session);
      assert.equal((await readLoop(session, 'SPNew')).value.value, sp + 1.5);

      // Manual: the output steps.
      assert.equal(await writeLoop(session, 'Mode', DataType.UInt32, 0), 'Good');
      await settle(session);
      const op = (await readLoop(session, 'OPNew')).value.value;
      const step = op <= 50 ? 10 : -10;
      assert.equal(await call(session, 'StepOutput', [real(step)]), 'Good');
      assert.equal(await call(session, 'StepSetPoint', [real(1)]), 'BadInvalidState');
      await settle(session);
      assert.ok(Math.abs((await readLoop(session, 'OPNew')).value.value - (op + step)) < 1e-4);

      // The speed gauge's levels: the fastest runs without a pause, the
      // slowest pauses 600 ms a step.
      assert.equal(await call(session, 'SetSpeed', [whole(7)]), 'BadOutOfRange');
      assert.equal(await call(session, 'SetSpeed', [whole(6)]), 'Good');
      assert.ok(await clockAdvance(session, 500) > 100, 'the fastest level runs thousands of steps a second');
      assert.equal(await call(session, 'SetSpeed', [whole(0)]), 'Good');
      await settle(session);
      assert.ok(await clockAdvance(session, 1300) <= 1.5, 'the slowest level pauses 600 ms a step');
      assert.equal(await call(session, 'SetSpeed', [whole(3)]), 'Good');

      // A client's stop ends the run without a question; a start runs the
      // loop again from its beginning with the values the panel holds.
      assert.equal(await call(session, 'StopRun'), 'Good');
      await waitUntil('the run to end', async () => (await readLoop(session, 'Running')).value.value === false);
      assert.equal(await call(session, 'StopRun'), 'BadInvalidState');
      const before = (await readLoop(session, 't')).value.value;
      assert.equal(await call(session, 'StartRun'), 'Good');
      await waitUntil('the new run', async () => (await readLoop(session, 'Running')).value.value === true);
      await settle(session);
      assert.ok((await readLoop(session, 't')).value.value < before, 'the new run starts its clock again');
      assert.equal((await readLoop(session, 'Mode')).value.value, 0, 'the new run keeps the panel\'s mode');
    },
  },
];

'use strict';
// The loop's performance indices as a client finds them: read-only Double
// variables in the folder "Analysis" beside the item folder, updated at
// every publication.
const assert = require('node:assert/strict');
const { NodeClass, AttributeIds, BrowseDirection, StatusCodes } = require('node-opcua');
const { startQxsim, stopServer } = require('../lib/processes');
const { DataType, openSession, closeSession, browseChildren, waitUntil } = require('../lib/client');

const kIndexNames = ['IAE', 'ISE', 'ITAE', 'Overshoot', 'RiseTime', 'SettlingTime', 'DecayRatio',
  'OPTravel', 'WindowStart'];
const nodeId = (name) => `ns=1;s=Analysis.${name}`;

async function readIndices(session, names) {
  const values = await session.read(names.map((name) => ({ nodeId: nodeId(name), attributeId: AttributeIds.Value })));
  return Object.fromEntries(values.map((v, i) => [names[i], v]));
}

module.exports = [
  {
    name: 'the folder Analysis holds the nine indices, described, with their units, waiting for data before a run and not writable',
    run: async (scope) => {
      const server = scope.add(await startQxsim(['--steps', '0', '--serve-after', '30']), stopServer);
      const peer = scope.add(await openSession(server.endpoint), closeSession);

      const objects = await browseChildren(peer.session, 'ns=0;i=85');
      const folder = objects.find((r) => r.browseName.name === 'Analysis');
      assert.ok(folder, `a folder Analysis under Objects; found ${objects.map((r) => r.browseName.toString())}`);
      assert.equal(folder.nodeId.toString(), 'ns=1;s=Analysis');
      const children = await browseChildren(peer.session, folder.nodeId);
      assert.deepEqual(children.map((r) => ({ nodeId: r.nodeId.toString(), name: r.browseName.name, cls: r.nodeClass })),
        kIndexNames.map((name) => ({ nodeId: nodeId(name), name, cls: NodeClass.Variable })));

      const values = await readIndices(peer.session, kIndexNames);
      for (const name of kIndexNames) {
        assert.equal(values[name].statusCode.name, 'BadWaitingForInitialData', `${name} before a run`);
        assert.equal(values[name].value.dataType, DataType.Double, `${name} is a Double`);
      }
      // What each index means, and its unit where it has one.
      const [iaeDescription] = await peer.session.read([{ nodeId: nodeId('IAE'), attributeId: AttributeIds.Description }]);
      assert.match(iaeDescription.value.value.text, /absolute error/, 'IAE describes itself');
      const units = async (name) => {
        const browsed = await peer.session.browse({
          nodeId: nodeId(name), referenceTypeId: 'HasProperty', browseDirection: BrowseDirection.Forward,
          includeSubtypes: true, resultMask: 0x3f,
        });
        return browsed.references.filter((r) => r.browseName.name === 'EngineeringUnits');
      };
      const [overshootUnits] = await units('Overshoot');
      assert.ok(overshootUnits, 'Overshoot has the property EngineeringUnits');
      const [percent] = await peer.session.read([{ nodeId: overshootUnits.nodeId, attributeId: AttributeIds.Value }]);
      assert.ok(percent.statusCode.isGood(), `the units read ${percent.statusCode.name}`);
      assert.equal(percent.value.dataType, DataType.ExtensionObject);
      assert.equal(percent.value.value.displayName.text, '%');
      assert.equal(percent.value.value.unitId, 20529, 'the UNECE code of percent');
      assert.deepEqual(await units('IAE'), [], 'IAE has no unit');

      const written = await peer.session.write({
        nodeId: nodeId('IAE'), attributeId: AttributeIds.Value,
        value: { value: { dataType: DataType.Double, value: 1 } },
      });
      assert.equal(written.name, StatusCodes.BadNotWritable.name);
    },
  },
  {
    name: 'during a run IAE grows after a set-point change while the unsettled SettlingTime waits for data',
    run: async (scope) => {
      // About 50 steps a second; the set point moves at step 20.
      const run = ['--set', 'RunControl.SleepMs=20', '--set', 'RunControl.SpeedLevel=0', '--seed', '7',
        '--at', '20:SingleSPNew=60', '--at', '20:enter'];
      const server = scope.add(await startQxsim(run), stopServer);
      const peer = scope.add(await openSession(server.endpoint), closeSession);

      let first;
      await waitUntil('a positive IAE after the set-point change', async () => {
        const v = await readIndices(peer.session, ['IAE', 'WindowStart', 'SettlingTime']);
        if (!v.IAE.statusCode.isGood() || !(v.IAE.value.value > 0)) return false;
        first = v;
        return true;
      }, 10000);
      assert.equal(first.WindowStart.value.value, 10, 'the window starts at the change, t = 10');
      await waitUntil('IAE to grow', async () => {
        const v = await readIndices(peer.session, ['IAE']);
        return v.IAE.value.value > first.IAE.value.value;
      }, 5000);
      // The PV is still far from the new set point: not settled.
      assert.equal(first.SettlingTime.statusCode.name, 'BadWaitingForInitialData');
      assert.equal(await stopServer(server), 0, 'SIGTERM ends qxsim cleanly');
    },
  },
];

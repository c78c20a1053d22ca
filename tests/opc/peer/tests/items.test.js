'use strict';
// The item folder as a client finds it before any run.
const assert = require('node:assert/strict');
const { NodeClass } = require('node-opcua');
const { startQxsim, startQxsimAtEnvironmentEndpoint, stopServer } = require('../lib/processes');
const { kItemFolder, openSession, closeSession, browseChildren, readValues, readText } = require('../lib/client');
const { kItemNames } = require('../lib/items');

// "--steps 0" ends the run before its first sample: nothing is published.
const kNoRun = ['--steps', '0', '--serve-after', '30'];

module.exports = [
  {
    name: 'the folder QxOPCServer under Objects holds exactly the 33 items by name',
    run: async (scope) => {
      const server = scope.add(await startQxsim(kNoRun), stopServer);
      const peer = scope.add(await openSession(server.endpoint), closeSession);

      const objects = await browseChildren(peer.session, 'ns=0;i=85');
      const folders = objects.filter((r) => r.browseName.name === kItemFolder);
      assert.equal(folders.length, 1, `one ${kItemFolder} under Objects; found ${objects.map((r) => r.browseName.toString())}`);
      assert.equal(folders[0].nodeClass, NodeClass.Object);
      assert.equal(folders[0].displayName.text, kItemFolder);

      const children = await browseChildren(peer.session, folders[0].nodeId);
      const variables = children.filter((r) => r.nodeClass === NodeClass.Variable);
      assert.equal(variables.length, 33, `33 variables in the folder; found ${variables.length}`);
      assert.equal(children.length, variables.length, 'nothing but the items in the folder');
      const found = variables.map((r) => ({
        nodeId: r.nodeId.toString(), browseName: r.browseName.name, displayName: r.displayName.text,
      }));
      found.sort((a, b) => a.browseName.localeCompare(b.browseName));
      const expected = [...kItemNames].sort((a, b) => a.localeCompare(b))
        .map((name) => ({ nodeId: `ns=1;s=${name}`, browseName: name, displayName: name }));
      assert.deepEqual(found, expected);
      for (const r of variables) assert.equal(r.browseName.namespaceIndex, 1, `${r.browseName} in namespace 1`);
    },
  },
  {
    name: 'before a run every item reads "empty" as a String',
    run: async (scope) => {
      const server = scope.add(await startQxsim(kNoRun), stopServer);
      const peer = scope.add(await openSession(server.endpoint), closeSession);
      const values = await readValues(peer.session, kItemNames);
      const wrong = values
        .map((v, i) => ({ name: kItemNames[i], status: v.statusCode.name, type: v.value.dataType, value: v.value.value }))
        .filter((v) => v.status !== 'Good' || v.value !== 'empty' || v.type !== 12 /* String */);
      assert.deepEqual(wrong, [], 'items that do not read a good "empty" string');
    },
  },
  {
    name: 'a bare --serve listens at QX_OPC_ENDPOINT, and SIGTERM right after start ends qxsim cleanly',
    run: async (scope) => {
      const server = scope.add(await startQxsimAtEnvironmentEndpoint(kNoRun), stopServer);
      const peer = await openSession(server.endpoint);
      assert.equal(await readText(peer.session, 'QX_S.PV'), 'empty');
      await closeSession(peer);
      assert.equal(await stopServer(server), 0, 'qxsim ends with status 0');
      // At once after it says it serves, while it may still load the case.
      const early = scope.add(await startQxsim(['--serve-after', '30']), stopServer);
      assert.equal(await stopServer(early), 0, 'qxsim ends with status 0 when stopped at once');
    },
  },
];

'use strict';
// A written value carries its own status code and timestamps only where the
// server accepts them: a Bad status must not reach the loop as a good value.
const assert = require('node:assert/strict');
const { AttributeIds, DataType, StatusCodes } = require('node-opcua');
const { startQxsim, stopServer } = require('../lib/processes');
const {
  itemNodeId, openSession, closeSession, readText, writeValue, secondPublicationAfter,
} = require('../lib/client');

const kSlowRun = ['--set', 'RunControl.SleepMs=20', '--set', 'RunControl.SpeedLevel=0', '--seed', '7'];

function writeWith(session, name, text, extra) {
  return session.write({
    nodeId: itemNodeId(name),
    attributeId: AttributeIds.Value,
    value: { value: { dataType: DataType.String, value: text }, ...extra },
  });
}

module.exports = [
  {
    name: 'a write of QX_S.PROP with a Bad status or a server timestamp is refused and the gain stays',
    run: async (scope) => {
      const server = scope.add(await startQxsim(kSlowRun), stopServer);
      const { session } = scope.add(await openSession(server.endpoint), closeSession);
      await secondPublicationAfter(session, Date.now());
      const gain = await readText(session, 'QX_S.K');
      assert.notEqual(gain, '2', 'the case does not start with gain 2');
      const refused = [
        { statusCode: StatusCodes.BadInternalError },
        { statusCode: StatusCodes.UncertainInitialValue },
        { serverTimestamp: new Date() },
      ];
      for (const extra of refused) {
        const status = await writeWith(session, 'QX_S.PROP', '2', extra);
        assert.equal(status.name, 'BadWriteNotSupported', JSON.stringify(Object.keys(extra)));
      }
      await secondPublicationAfter(session, Date.now());
      assert.equal(await readText(session, 'QX_S.K'), gain, 'the refused writes left the gain alone');
      // A plain value, or one with its source timestamp, is taken.
      assert.equal((await writeValue(session, 'QX_S.PROP', DataType.String, '2')).name, 'Good');
      assert.equal((await writeWith(session, 'QX_S.INTG', '7', { sourceTimestamp: new Date() })).name, 'Good');
      await secondPublicationAfter(session, Date.now());
      assert.equal(await readText(session, 'QX_S.K'), '2');
      assert.equal(await readText(session, 'QX_S.T1'), '7');
    },
  },
];

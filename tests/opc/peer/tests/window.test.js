'use strict';
// The window program as an OPC client sees it: started on a case, it serves
// the loop's values and they move while the case runs.
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { startWindow, stopServer, programPath } = require('../lib/processes');
const { openSession, closeSession, recordChanges, waitUntil } = require('../lib/client');

// The starting case with a little PV noise, so that every sample changes
// QX_S.PV; qxsim writes it after a run of no steps.
function noisyCase(scope) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'qx-window-'));
  scope.add(folder, (f) => fs.rmSync(f, { recursive: true, force: true }));
  const casePath = path.join(folder, 'Noisy.pid');
  execFileSync(programPath('QXSIM'), ['run', '--steps', '0', '--set', 'SingleLoop.PVNoise=0.01',
    '--save-case', casePath], { env: { ...process.env, LC_ALL: 'C' }, stdio: 'ignore' });
  return casePath;
}

// Only where the build has the window program.
module.exports = !process.env.QXOPCSERVER ? [] : [
  {
    name: 'the window program serves a changing QX_S.PV once its case runs',
    run: async (scope) => {
      const server = scope.add(await startWindow(noisyCase(scope)), stopServer);
      const peer = scope.add(await openSession(server.endpoint), closeSession);
      const recorder = await recordChanges(peer.session, ['QX_S.PV', 'QX_S.MODE']);
      // The case opens after the two-second splash; then every sample is
      // published.
      await waitUntil('5 different values of QX_S.PV',
        () => new Set(recorder.changes['QX_S.PV'].map((c) => c.value)).size >= 5, 20000);
      assert.match(recorder.latest['QX_S.PV'], /^-?\d+(\.\d+)?(E[+-]?\d+)?$/);
      assert.equal(recorder.latest['QX_S.MODE'], '2', 'the case runs in Auto');
      assert.equal(server.child.exitCode, null, 'the window program still runs');
    },
  },
];

'use strict';
// A server whose class object is revoked refuses new sessions while the
// sessions it holds go on; its counters follow the sessions.
const assert = require('node:assert/strict');
const { startFixture, stopServer } = require('../lib/processes');
const { command, counts } = require('../lib/fixture');
const { openSession, closeSession, readText, waitUntil } = require('../lib/client');

module.exports = [
  {
    name: 'after revocation new sessions are refused and an existing session goes on',
    run: async (scope) => {
      const server = scope.add(await startFixture(), stopServer);
      const first = await openSession(server.endpoint);
      let firstOpen = true;
      scope.add(first, (peer) => (firstOpen ? closeSession(peer) : undefined));
      assert.equal(await readText(first.session, 'QX_S.PV'), 'empty');
      assert.equal(await command(server, 'publish'), 'published');
      assert.equal(await readText(first.session, 'QX_S.PV'), '40');
      assert.deepEqual(await counts(server), { sessions: 1, locks: 1 });

      assert.equal(await command(server, 'revoke'), 'revoked');
      let refused;
      try {
        const second = await openSession(server.endpoint);
        await closeSession(second);
      } catch (error) {
        refused = error;
      }
      assert.ok(refused, 'a new session after revocation is refused');
      assert.match(refused.message, /Bad/, 'the refusal carries a Bad status');

      assert.equal(await command(server, 'publish'), 'published');
      assert.equal(await readText(first.session, 'QX_S.PV'), '41', 'the existing session still reads');
      assert.equal((await counts(server)).sessions, 1);

      firstOpen = false;
      await closeSession(first);
      await waitUntil('the session and connection counts to fall to 0', async () => {
        const now = await counts(server);
        return now.sessions === 0 && now.locks === 0;
      });
      server.child.stdin.end('quit\n');
      assert.equal(await server.exited, 0, 'the fixture ends cleanly');
    },
  },
];

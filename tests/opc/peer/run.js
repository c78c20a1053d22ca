'use strict';
// Runs the peer tests: node-opcua, an independent OPC UA client, against
// qxsim and the fixture server. The programs come from the environment:
//   QXSIM               the qxsim executable
//   OPC_FIXTURE_SERVER  the fixture server executable
// Usage: node run.js [name filter]. Prints one line per test and
// "N passed, N failed"; exits non-zero when a test fails.
const fs = require('node:fs');
const path = require('node:path');

const kTestTimeoutMs = 60000;
const kCleanupTimeoutMs = 10000;

const modules = path.join(__dirname, 'node_modules', 'node-opcua');
if (!fs.existsSync(modules)) {
  console.error(`peer tests: node-opcua is not installed (no ${modules}).\n` +
    `Install it with 'npm ci' in ${__dirname} (scripts/test.sh does this).`);
  process.exit(1);
}

// Resources a test opened, closed in reverse order when it ends, whatever
// the outcome.
class Scope {
  constructor() { this.closers = []; }
  add(resource, close) {
    this.closers.push(() => close(resource));
    return resource;
  }
  async close() {
    const errors = [];
    while (this.closers.length) {
      const close = this.closers.pop();
      try {
        await withTimeout(Promise.resolve().then(close), kCleanupTimeoutMs, 'cleanup');
      } catch (error) {
        errors.push(error);
      }
    }
    return errors;
  }
}

function withTimeout(promise, ms, what) {
  let timer;
  const timeout = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`${what} did not finish within ${ms} ms`)), ms);
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
}

function loadTests() {
  const folder = path.join(__dirname, 'tests');
  return fs.readdirSync(folder).filter((f) => f.endsWith('.test.js')).sort()
    .flatMap((file) => require(path.join(folder, file)).map((test) => ({ ...test, file })));
}

async function main() {
  const filter = process.argv[2] || '';
  const tests = loadTests().filter((t) => t.name.includes(filter));
  let passed = 0;
  let failed = 0;
  for (const test of tests) {
    const scope = new Scope();
    const started = Date.now();
    let error;
    try {
      await withTimeout(test.run(scope), test.timeoutMs || kTestTimeoutMs, 'the test');
    } catch (caught) {
      error = caught;
    }
    const cleanupErrors = await scope.close();
    if (!error && cleanupErrors.length) [error] = cleanupErrors;
    const ms = Date.now() - started;
    if (error) {
      failed += 1;
      console.log(`FAIL ${test.file}: ${test.name} (${ms} ms)\n  ${String(error.stack || error).replace(/\n/g, '\n  ')}`);
    } else {
      passed += 1;
      console.log(`ok   ${test.file}: ${test.name} (${ms} ms)`);
    }
  }
  console.log(`${passed} passed, ${failed} failed`);
  return failed === 0 && passed > 0 ? 0 : 1;
}

main().then((code) => process.exit(code), (error) => {
  console.error(error);
  process.exit(1);
});

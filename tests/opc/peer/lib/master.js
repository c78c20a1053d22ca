'use strict';
// The two ends of a master link: a stand-in master (standin-master.js, a
// node-opcua server with "ns=1;s=QX_S.OP") and a qxsim slave that follows
// it, with its trace and its standard error recorded.
const path = require('node:path');
const { startServer, startQxsim } = require('./processes');

const kAnswerTimeoutMs = 5000;

// The stand-in master on a free port; `flags` as standin-master.js takes them.
function startStandinMaster(flags = []) {
  const script = path.join(__dirname, 'standin-master.js');
  return startServer(process.execPath, (endpoint) => [script, endpoint, ...flags], /^ready/m);
}

// Sends one command to the stand-in and waits for its "ok" (other lines
// that node-opcua may print are skipped); resolves with what came before it.
function tell(master, text) {
  const { child } = master;
  return new Promise((resolve, reject) => {
    let buffer = '';
    const onData = (chunk) => {
      buffer += chunk.toString();
      if (/^ok$/m.test(buffer)) {
        finish();
        resolve(buffer);
      }
    };
    const timer = setTimeout(() => {
      finish();
      reject(new Error(`the stand-in master did not answer '${text}' within ${kAnswerTimeoutMs} ms`));
    }, kAnswerTimeoutMs);
    const finish = () => {
      clearTimeout(timer);
      child.stdout.off('data', onData);
    };
    child.stdout.on('data', onData);
    child.stdin.write(text + '\n');
  });
}

// qxsim run --master ENDPOINT --trace - with `runArgs`, serving at a free
// port of its own. The result records the trace rows ({step, sp, spNew})
// and the standard error text, with the time each master-link line came.
async function startSlave(masterEndpoint, runArgs, env = {}) {
  const slave = await startQxsim(['--master', masterEndpoint, '--trace', '-', ...runArgs], env);
  slave.rows = [];
  slave.stderr = '';
  slave.linkLines = [];  // { line, at }
  let pending = '';
  slave.child.stdout.on('data', (chunk) => {
    pending += chunk.toString();
    let newline;
    while ((newline = pending.indexOf('\n')) >= 0) {
      const fields = pending.slice(0, newline).split(',');
      pending = pending.slice(newline + 1);
      if (fields.length < 13 || !/^\d+$/.test(fields[0])) continue;
      slave.rows.push({ step: Number(fields[0]), sp: Number(fields[2]), spNew: Number(fields[12]) });
    }
  });
  slave.child.stderr.on('data', (chunk) => {
    const text = chunk.toString();
    slave.stderr += text;
    for (const line of text.split('\n')) {
      if (/master/i.test(line)) slave.linkLines.push({ line: line.trim(), at: Date.now() });
    }
  });
  slave.latest = () => slave.rows[slave.rows.length - 1] || { sp: NaN, spNew: NaN };
  return slave;
}

module.exports = { startStandinMaster, tell, startSlave };

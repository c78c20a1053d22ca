'use strict';
// Starts the servers under test as child processes on free loopback ports
// and ends them with SIGTERM (which lets them close their sockets).
const { spawn } = require('node:child_process');

const kPortFirst = 4800;
const kPortCount = 200;
const kStartAttempts = 12;
const kReadyTimeoutMs = 15000;

function programPath(variable) {
  const value = process.env[variable];
  if (!value) throw new Error(`the environment variable ${variable} must name the program to test`);
  return value;
}

function randomPort() {
  return kPortFirst + Math.floor(Math.random() * kPortCount);
}

// One attempt: resolves with the running child once `readyPattern` shows in
// its output; rejects with the output when it ends first. `portInUse` tells
// whether it ended because the port was taken.
function startOnce(program, args, readyPattern, env) {
  return new Promise((resolve, reject) => {
    const child = spawn(program, args, { env: { ...process.env, ...env }, stdio: ['pipe', 'pipe', 'pipe'] });
    let output = '';
    let settled = false;
    const timer = setTimeout(() => {
      if (settled) return;
      settled = true;
      child.kill('SIGKILL');
      reject(new Error(`${program} did not get ready within ${kReadyTimeoutMs} ms; it printed:\n${output}`));
    }, kReadyTimeoutMs);
    const onData = (chunk) => {
      output += chunk.toString();
      if (!settled && readyPattern.test(output)) {
        settled = true;
        clearTimeout(timer);
        child.startupOutput = output;  // what it printed until ready
        resolve(child);
      }
    };
    child.stdout.on('data', onData);
    child.stderr.on('data', onData);
    child.on('error', (error) => {
      if (settled) return;
      settled = true;
      clearTimeout(timer);
      reject(new Error(`cannot start ${program}: ${error.message}`));
    });
    child.on('exit', (code, signal) => {
      if (settled) return;
      settled = true;
      clearTimeout(timer);
      const error = new Error(`${program} ${args.join(' ')} ended (${signal || code}) before serving; it printed:\n${output}`);
      error.portInUse = /address already in use/i.test(output);
      reject(error);
    });
  });
}

// A server on a free port: `makeArgs(endpoint)` gives its arguments.
// Returns { child, endpoint, exited } where `exited` resolves with the exit
// code (or signal name) when the child ends.
// `env` is an object, or a function of the endpoint that gives one.
async function startServer(program, makeArgs, readyPattern, env = {}) {
  let lastError;
  for (let attempt = 0; attempt < kStartAttempts; ++attempt) {
    const endpoint = `opc.tcp://127.0.0.1:${randomPort()}`;
    try {
      const child = await startOnce(program, makeArgs(endpoint), readyPattern,
        typeof env === 'function' ? env(endpoint) : env);
      const exited = new Promise((resolve) => {
        if (child.exitCode !== null || child.signalCode !== null) resolve(child.signalCode || child.exitCode);
        else child.on('exit', (code, signal) => resolve(signal || code));
      });
      return { child, endpoint, exited };
    } catch (error) {
      lastError = error;
      if (!error.portInUse) throw error;
    }
  }
  throw new Error(`no free port in ${kPortFirst}..${kPortFirst + kPortCount - 1} after ${kStartAttempts} attempts: ${lastError.message}`);
}

const kPlainLocale = { LC_ALL: 'C', LC_NUMERIC: '', LANG: '' };

// qxsim run serving at a free endpoint, with further run arguments.
function startQxsim(runArgs, env = {}) {
  return startServer(programPath('QXSIM'),
    (endpoint) => ['run', '--serve', endpoint, ...runArgs],
    /serving OPC UA at/, { ...kPlainLocale, ...env });
}

// qxsim run with a bare --serve, told the endpoint by QX_OPC_ENDPOINT.
function startQxsimAtEnvironmentEndpoint(runArgs) {
  return startServer(programPath('QXSIM'), () => ['run', '--serve', ...runArgs],
    /serving OPC UA at/, (endpoint) => ({ ...kPlainLocale, QX_OPC_ENDPOINT: endpoint }));
}

// The fixture server, which takes commands on its standard input.
function startFixture() {
  return startServer(programPath('OPC_FIXTURE_SERVER'), (endpoint) => [endpoint], /^ready$/m);
}

// The alarm fixture server of the stack's tests, which takes commands on
// its standard input like the fixture server.
function startAlarmFixture() {
  return startServer(programPath('OPCUA_ALARM_SERVER'), (endpoint) => [endpoint], /^ready$/m);
}

// The window program QxOPCServer on the offscreen platform, opening the case
// at `casePath` after its start-up splash and serving at a free endpoint
// (QX_OPC_ENDPOINT).
function startWindow(casePath) {
  return startServer(programPath('QXOPCSERVER'), () => [casePath], /serving OPC UA at/,
    (endpoint) => ({ ...kPlainLocale, QT_QPA_PLATFORM: 'offscreen', QX_OPC_ENDPOINT: endpoint }));
}

// Ends a server started here: SIGTERM, then SIGKILL when it lingers.
// Resolves with how it ended.
async function stopServer(server, graceMs = 5000) {
  if (!server) return undefined;
  const { child, exited } = server;
  if (child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
  const timer = setTimeout(() => child.kill('SIGKILL'), graceMs);
  const how = await exited;
  clearTimeout(timer);
  return how;
}

module.exports = {
  startServer, startQxsim, startQxsimAtEnvironmentEndpoint, startFixture, startAlarmFixture, startWindow,
  stopServer, programPath,
};

'use strict';
// Talks to the fixture server over its standard input and output: one
// command line out, one answer line back.
const kAnswerTimeoutMs = 5000;

function lineReader(child) {
  if (child.lineReader) return child.lineReader;
  const reader = { buffer: '', waiters: [] };
  child.stdout.on('data', (chunk) => {
    reader.buffer += chunk.toString();
    let newline;
    while ((newline = reader.buffer.indexOf('\n')) >= 0) {
      const line = reader.buffer.slice(0, newline);
      reader.buffer = reader.buffer.slice(newline + 1);
      const waiter = reader.waiters.shift();
      if (waiter) waiter(line);
    }
  });
  child.lineReader = reader;
  return reader;
}

// Sends `command` and resolves with the fixture's answer line.
function command(server, text) {
  const reader = lineReader(server.child);
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`the fixture server did not answer '${text}' within ${kAnswerTimeoutMs} ms`)), kAnswerTimeoutMs);
    reader.waiters.push((line) => {
      clearTimeout(timer);
      resolve(line);
    });
    server.child.stdin.write(text + '\n');
  });
}

// The fixture's ServerObjectCount and ServerLockCount.
async function counts(server) {
  const answer = await command(server, 'counts');
  const match = /^sessions (\d+) locks (\d+)$/.exec(answer);
  if (!match) throw new Error(`unexpected answer to 'counts': '${answer}'`);
  return { sessions: Number(match[1]), locks: Number(match[2]) };
}

module.exports = { command, counts };

'use strict';
// A TCP relay between a client and a server on loopback whose connections
// the test can cut, as a network failure would: both sockets are destroyed
// without a goodbye to either side.
const net = require('node:net');

async function startProxy(targetPort) {
  const pairs = new Set();
  const server = net.createServer((downstream) => {
    const upstream = net.connect(targetPort, '127.0.0.1');
    const pair = { downstream, upstream };
    pairs.add(pair);
    const drop = () => {
      pairs.delete(pair);
      downstream.destroy();
      upstream.destroy();
    };
    downstream.on('error', drop).on('close', drop);
    upstream.on('error', drop).on('close', drop);
    downstream.pipe(upstream);
    upstream.pipe(downstream);
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', resolve);
  });
  const port = server.address().port;
  return {
    endpoint: `opc.tcp://127.0.0.1:${port}`,
    connectionCount: () => pairs.size,
    // Cuts every relayed connection at once; new ones are relayed again.
    cut: () => {
      for (const pair of [...pairs]) {
        pairs.delete(pair);
        pair.downstream.destroy();
        pair.upstream.destroy();
      }
    },
    close: () => new Promise((resolve) => {
      for (const pair of pairs) {
        pair.downstream.destroy();
        pair.upstream.destroy();
      }
      server.close(() => resolve());
    }),
  };
}

module.exports = { startProxy };

'use strict';
// Reads the last hour of the simulated loop's PV history, in pages of at
// most 1000 values, and prints the values as CSV (time, PV) with the
// hour's average, minimum and maximum.
//   node read-pv-history.js [opc.tcp://127.0.0.1:4840]
const {
  OPCUAClient, MessageSecurityMode, SecurityPolicy, HistoryReadRequest, ReadRawModifiedDetails,
  TimestampsToReturn, AggregateFunction,
} = require('node-opcua');

async function main(endpoint) {
  const client = OPCUAClient.create({
    endpointMustExist: false,
    securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None,
    connectionStrategy: { maxRetry: 0 },
  });
  await client.connect(endpoint);
  const session = await client.createSession();
  try {
    const end = new Date();
    const start = new Date(end.getTime() - 3600 * 1000);
    const nodeId = 'ns=1;s=Loop.PV';
    let continuationPoint = null;
    let count = 0;
    console.log('time,PV');
    do {
      const response = await session.historyRead(new HistoryReadRequest({
        historyReadDetails: new ReadRawModifiedDetails({
          startTime: start, endTime: end, numValuesPerNode: 1000, returnBounds: false,
        }),
        timestampsToReturn: TimestampsToReturn.Source,
        nodesToRead: [{ nodeId, continuationPoint }],
      }));
      const result = response.results[0];
      if (result.statusCode.isNotGood()) throw new Error(`HistoryRead: ${result.statusCode.name}`);
      for (const value of result.historyData.dataValues) {
        console.log(`${value.sourceTimestamp.toISOString()},${value.value.value}`);
        count += 1;
      }
      continuationPoint = result.continuationPoint && result.continuationPoint.length ? result.continuationPoint : null;
    } while (continuationPoint);

    // One interval for the whole hour (processing interval 0).
    const figures = [];
    for (const [name, fn] of [['average', AggregateFunction.Average], ['minimum', AggregateFunction.Minimum],
      ['maximum', AggregateFunction.Maximum]]) {
      const [result] = await session.readAggregateValue([{ nodeId }], start, end, fn, 0);
      const value = result.historyData && result.historyData.dataValues[0];
      figures.push(`${name} ${value && value.statusCode.isGood() ? value.value.value : 'none'}`);
    }
    console.error(`${count} values; ${figures.join(', ')}`);
  } finally {
    await session.close();
    await client.disconnect();
  }
}

main(process.argv[2] || 'opc.tcp://127.0.0.1:4840').catch((error) => {
  console.error(error.message);
  process.exit(1);
});

'use strict';
// Steps the simulated loop's set point by DELTA (engineering units) with
// the loop object's method StepSetPoint, then prints SP and PV for ten
// seconds as the loop responds. The loop must be in Auto or Cascade.
//   node step-set-point.js [opc.tcp://127.0.0.1:4840] [DELTA]
const { OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, DataType } = require('node-opcua');

async function main(endpoint, delta, seconds) {
  const client = OPCUAClient.create({
    endpointMustExist: false,
    securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None,
    connectionStrategy: { maxRetry: 0 },
  });
  await client.connect(endpoint);
  const session = await client.createSession();
  try {
    const result = await session.call({
      objectId: 'ns=1;s=Loop',
      methodId: 'ns=1;s=Loop.StepSetPoint',
      inputArguments: [{ dataType: DataType.Double, value: delta }],
    });
    // BadInvalidState in Manual, BadOutOfRange when the step leaves the CV
    // range, BadUserAccessDenied for an anonymous client off loopback.
    if (result.statusCode.isNotGood()) throw new Error(`StepSetPoint(${delta}): ${result.statusCode.name}`);
    console.log('t,SPNew,SP,PV');
    for (let i = 0; i < seconds; ++i) {
      const values = await session.read(['t', 'SPNew', 'SP', 'PV'].map((name) => ({
        nodeId: `ns=1;s=Loop.${name}`, attributeId: AttributeIds.Value,
      })));
      console.log(values.map((v) => v.value.value).join(','));
      await new Promise((resolve) => setTimeout(resolve, 1000));
    }
  } finally {
    await session.close();
    await client.disconnect();
  }
}

main(process.argv[2] || 'opc.tcp://127.0.0.1:4840', Number(process.argv[3] || 5),
  Number(process.env.STEP_SECONDS || 10)).catch((error) => {
  console.error(error.message);
  process.exit(1);
});

'use strict';
// Watches the simulated loop's alarms (the conditions LevelAlarm,
// DeviationAlarm and SaturationAlarm on ns=1;s=Loop) for SECONDS and
// acknowledges each one that goes active, with COMMENT. ConditionRefresh at
// the start brings the alarms that are already active. One line per event:
//   time,condition,active,acked,confirmed,severity,message
//   node acknowledge-alarms.js [opc.tcp://127.0.0.1:4840] [COMMENT]   (ALARM_SECONDS, default 60)
const {
  OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, DataType, Variant, TimestampsToReturn,
  constructEventFilter, ContentFilterElement, FilterOperator, LiteralOperand, resolveNodeId,
} = require('node-opcua');

const kFields = ['EventId', 'ConditionId', 'Time', 'ConditionName', 'ActiveState.Id', 'AckedState.Id',
  'ConfirmedState.Id', 'Severity', 'Message'];

async function main(endpoint, comment, seconds) {
  const client = OPCUAClient.create({
    endpointMustExist: false,
    securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None,
    connectionStrategy: { maxRetry: 0 },
  });
  await client.connect(endpoint);
  const session = await client.createSession();
  try {
    const subscription = await session.createSubscription2({
      requestedPublishingInterval: 100, requestedMaxKeepAliveCount: 20, requestedLifetimeCount: 200,
      maxNotificationsPerPublish: 0, publishingEnabled: true, priority: 1,
    });
    // Alarm events only: the where clause keeps events of AlarmConditionType
    // and its subtypes.
    const ofType = new ContentFilterElement({
      filterOperator: FilterOperator.OfType,
      filterOperands: [new LiteralOperand({
        value: new Variant({ dataType: DataType.NodeId, value: resolveNodeId('AlarmConditionType') }),
      })],
    });
    const item = await subscription.monitor(
      { nodeId: 'ns=1;s=Loop', attributeId: AttributeIds.EventNotifier },
      { queueSize: 100, filter: constructEventFilter(kFields, ofType), discardOldest: true },
      TimestampsToReturn.Neither);
    const acknowledging = [];
    item.on('changed', (fields) => {
      const e = Object.fromEntries(kFields.map((name, i) => [name.split('.')[0], fields[i].value]));
      if (!e.ConditionName) return;  // the refresh's start and end marks
      console.log([e.Time.toISOString(), e.ConditionName, e.ActiveState, e.AckedState, e.ConfirmedState,
        e.Severity, JSON.stringify(e.Message.text)].join(','));
      if (!e.ActiveState || e.AckedState) return;
      // The EventId names the state this client saw; a newer state of the
      // alarm makes it stale (BadEventIdUnknown).
      acknowledging.push(session.call({
        objectId: e.ConditionId,
        methodId: resolveNodeId('AcknowledgeableConditionType_Acknowledge'),
        inputArguments: [
          new Variant({ dataType: DataType.ByteString, value: e.EventId }),
          new Variant({ dataType: DataType.LocalizedText, value: { text: comment } }),
        ],
      }).then((result) => console.error(`acknowledge ${e.ConditionName}: ${result.statusCode.name}`)));
    });
    const refresh = await session.call({
      objectId: resolveNodeId('Server'),
      methodId: resolveNodeId('ConditionType_ConditionRefresh'),
      inputArguments: [new Variant({ dataType: DataType.UInt32, value: subscription.subscriptionId })],
    });
    if (refresh.statusCode.isNotGood()) throw new Error(`ConditionRefresh: ${refresh.statusCode.name}`);
    await new Promise((resolve) => setTimeout(resolve, seconds * 1000));
    await Promise.all(acknowledging);
    await subscription.terminate();
  } finally {
    await session.close();
    await client.disconnect();
  }
}

main(process.argv[2] || 'opc.tcp://127.0.0.1:4840', process.argv[3] || 'acknowledged from node-opcua',
  Number(process.env.ALARM_SECONDS || 60)).catch((error) => {
  console.error(error.message);
  process.exit(1);
});

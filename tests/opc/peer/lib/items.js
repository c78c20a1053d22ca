'use strict';
// The 33 item names a client must find, in table order.
const kItemNames = [
  'QX_S.PV', 'QX_S.SP', 'QX_S.OP', 'QX_S.MODE', 'QX_S.K', 'QX_S.T1', 'QX_S.T2', 'QX_S.PVEUHI',
  'QX_S.PVEULO', 'QX_C.PV', 'QX_C.SP', 'QX_C.OP', 'QX_C.MODE', 'QX_C.K', 'QX_C.T1', 'QX_C.T2',
  'QX_C.PVEUHI', 'QX_C.PVEULO', 'DUMMYTAG.PV', 'QX_S.CO', 'QX_S.KP', 'QX_S.KI', 'QX_S.KD',
  'QX_S.KD_Lag', 'QX_S.SP.DISPLAY_LIM_HIGH_N', 'QX_S.SP.DISPLAY_LIM_LOW_N', 'QX_S.SO',
  'QX_S.CASCADE', 'QX_S.QMAN_AUT', 'QX_S.QSPEXTON', 'QX_S.AUTO_SD_BYPASS', 'QX_S.PROP',
  'QX_S.INTG',
];

module.exports = { kItemNames };

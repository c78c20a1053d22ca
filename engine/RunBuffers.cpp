#include "engine/RunBuffers.h"

namespace qx {

void RunBuffers::RecordSample(int index, float time, float pv, float sp, float output) {
  TimeTrend[index] = time;
  Loop->PVTrend[index] = pv;
  Loop->SPTrend[index] = sp;
  Loop->OutputTrend[index] = output;
  // Entries before this sample keep what they showed: a pending range that
  // starts before it is written out first (normally the range starts right
  // at this sample and nothing is written).
  if (Fill.From < index) MaterialiseFill();
  Fill = TrendFill{index + 1, pv, sp, output};
}

void RunBuffers::CompactTrends(int half) {
  // The moved entries are whole samples in any real run; write the pending
  // range out first should a moved or overwritten entry lie inside it.
  if (Fill.From < 2 * half) MaterialiseFill();
  for (int i = 0; i < half; ++i) {
    Loop->PVTrend[i] = PVAt(half + i);
    Loop->SPTrend[i] = SPAt(half + i);
    Loop->OutputTrend[i] = OutputAt(half + i);
  }
}

void RunBuffers::MaterialiseFill() {
  if (!Loop) return;
  for (int i = Fill.From; i <= kTrendFillEnd && i < kTrendLength; ++i) {
    Loop->PVTrend[i] = Fill.PV;
    Loop->SPTrend[i] = Fill.SP;
    Loop->OutputTrend[i] = Fill.Output;
  }
  Fill.From = kTrendFillEnd + 1;
}

}  // namespace qx

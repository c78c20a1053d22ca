// A panel showing the test case, for the panel tests.
#pragma once

#include "RunFixture.h"
#include "ui/OperatorPanel.h"
#include "ui/PanelLogic.h"

namespace qx::test {

// The test case loaded as a case command does it: mode Auto, values shown.
inline void LoadTestCase(LoopModel& m, OperatorPanel& panel) {
  LoadTestCase(m);
  ShowCaseLayout(panel);
  ShowLoopValues(m, panel);
  ShowModeState(panel, LoopMode::Auto);
}

}  // namespace qx::test

// The loop side of the OPC benchmarks: a loop model whose values move at
// every publication, the server that publishes it (items, analysis figures
// and the loop object, as the application does), and the count of item
// changes each publication makes (what every subscriber of the items must
// receive).
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "opc/OPCServer.h"

namespace qx::bench {

class LoopDriver {
 public:
  LoopDriver();

  // Serves on a free loopback port, with the channel security of
  // BenchSecurity.h. False with a message when none is found.
  bool Serve(std::string& error);
  const std::string& Endpoint() const { return endpoint_; }
  COPCServer& Server() { return *server_; }
  LoopModel& Model() { return model_; }

  // Moves the loop on: 20 of the 33 item texts change (the cascade items
  // and the fixed texts never do). With `tuning` false, P and I are left to
  // client writes. Returns how many item texts the next publication changes.
  int Advance(bool tuning);
  // Publishes the loop as the run loop does: the items, the analysis
  // figures and the loop object in one batch.
  void Publish();

 private:
  PanelSnapshot Panel() const { return PanelSnapshot{false, dLag_}; }

  LoopModel model_;
  std::unique_ptr<COPCServer> server_;
  std::string endpoint_;
  long step_ = 0;
  std::string dLag_ = "0.1";
  std::array<std::string, kItemCount> published_{};
  std::vector<std::optional<double>> figures_;
};

}  // namespace qx::bench

#include "bench/opc/LoopDriver.h"

#include <chrono>
#include <random>

#include "bench/opc/BenchSecurity.h"

namespace qx::bench {
namespace {

// As many figures as the application publishes under its analysis folder.
constexpr const char* kFigures[] = {"IAE", "ISE", "ITAE", "Overshoot", "RiseTime",
                                    "SettlingTime", "DecayRatio", "OPTravel", "WindowStart"};

}  // namespace

LoopDriver::LoopDriver() {
  PIDLoop& s = model_.SingleLoop;
  s.P = 1;
  s.I = 20;
  s.CVHigh = 100;
  s.MVHigh = 100;
  model_.RunControl.SingleConfiguration = true;
  model_.RunControl.SingleAutoState = 1;
  model_.RunControl.SingleModeCode = 2;
  published_.fill("empty");
}

bool LoopDriver::Serve(std::string& error) {
  std::mt19937 random(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int attempt = 0; attempt < 20; ++attempt) {
    endpoint_ = "opc.tcp://127.0.0.1:" + std::to_string(5100 + random() % 200);
    server_ = std::make_unique<COPCServer>(model_, '.');
    server_->GBSetSecurity(BenchServerSecurity());
    std::vector<AnalysisItem> figures;
    for (const char* name : kFigures) figures.push_back({name, name, ""});
    server_->SetAnalysisItems(std::move(figures));
    if (server_->InitializeOPC(endpoint_, error)) return true;
  }
  return false;
}

int LoopDriver::Advance(bool tuning) {
  ++step_;
  const float wave = static_cast<float>(step_ % 4096);
  PIDLoop& s = model_.SingleLoop;
  s.PV = 40 + wave / 256;
  s.SP = 50 + wave / 512;
  s.OP = 30 + wave / 128;
  s.D = wave / 1024;
  s.CVHigh = 100 + wave / 64;
  s.CVLow = -wave / 64;
  // Manual and Auto in turn: MODE, SO and QMAN_AUT change every time.
  const bool automatic = step_ % 2 == 0;
  model_.RunControl.SingleAutoState = automatic ? 1 : 0;
  model_.RunControl.SingleModeCode = automatic ? 2 : 1;
  dLag_ = automatic ? "0.1" : "0.2";
  if (tuning) {
    StoreShared(s.P, 1 + wave / 2048);
    StoreShared(s.I, 20 + wave / 32);
  }
  figures_.assign(std::size(kFigures), std::nullopt);
  for (std::size_t i = 0; i < figures_.size(); ++i) figures_[i] = wave * static_cast<double>(i + 1);
  const auto texts = server_->ItemValueTexts(Panel());
  int changed = 0;
  for (std::size_t i = 0; i < kItemCount; ++i) {
    if (texts[i] != published_[i]) ++changed;
    published_[i] = texts[i];
  }
  return changed;
}

void LoopDriver::Publish() {
  server_->PublishItemValues(Panel(), figures_,
                             LoopRunValues{false, true, static_cast<float>(step_) * 0.5f});
}

}  // namespace qx::bench

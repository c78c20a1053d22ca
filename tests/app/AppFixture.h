// A scripted front end for the application layer: it records every box,
// question, caption and dialog, answers questions and dialogs from a
// script, and a run host that ends each run after a number of steps.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Application.h"
#include "ui/PanelLogic.h"

namespace qx::test {

class FakeAppHost final : public AppHost {
 public:
  std::vector<std::string> Log;        // what the operator was shown, in order
  std::deque<bool> Answers;            // Yes/No answers; Yes once empty
  std::optional<std::string> OpenChoice, SaveChoice;  // nothing: cancelled
  std::string Caption;
  bool Busy = false;
  int PanelChanges = 0;

  bool AskYesNo(std::string_view question) override;
  void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;
  void ShowGeneralError(std::string_view text) override;
  std::optional<std::string> ChooseCaseFileToOpen() override;
  std::optional<std::string> ChooseCaseFileToSave() override;
  void SetCaption(std::string_view caption) override;
  void SetBusyCursor(bool busy) override { Busy = busy; }
  void ShowCurrentDirectory(std::string_view folder) override;
  // Runs inside ProcessPendingMessages, as the handlers a real message
  // loop would run there.
  std::function<void()> OnPendingMessages;
  void ProcessPendingMessages() override {
    Log.push_back("messages");
    if (OnPendingMessages) OnPendingMessages();
  }
  void MovePointerToPlots() override { Log.push_back("pointer"); }
  void PanelChanged() override { ++PanelChanges; }
  void ShowMasterLinkState(bool connected) override {
    Log.push_back(connected ? "master connected" : "master disconnected");
  }
};

// Ends every run during the message processing of step `StopAtStep`, and
// runs `OnStep` at the start of every step before that. Records the runs.
class StoppingRunHost : public PanelRunHost {
 public:
  explicit StoppingRunHost(Application& app) : PanelRunHost(app.Sim(), app.Panel()), app_(app) {}

  int64_t StopAtStep = 20;
  std::function<void(int64_t step)> OnStep;
  std::vector<std::string> Runs;  // "start" / "start inside a run" / "end at step N"
  std::vector<float> StartGains;  // SingleLoop.P as each run starts

  void ProcessMessages(MessagePoint point) override;
  void RunStarting() override;
  void RunEnded() override;
  void PublishItemValues() override { app_.PublishItemValues(); }

 private:
  Application& app_;
};

// A fresh folder that is the working directory while the object lives.
class WorkingFolder {
 public:
  WorkingFolder();
  ~WorkingFolder();
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::string previous_;
};

// The starting case's listing, and a case file packed from a listing.
std::string StartingCaseListing();
void WriteCaseFile(const std::string& path, const std::string& listing);
// A case file whose line for `field` holds `value`, which need not convert.
void WriteCaseFileWithValue(const std::string& path, const std::string& field, const std::string& value);

// Starts the application's server on a free loopback port; its endpoint.
std::string ServeOnFreePort(Application& app);

}  // namespace qx::test

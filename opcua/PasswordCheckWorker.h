#pragma once
// A PasswordChecker with a thread of its own: checks run one after the
// other with the server's password check, and each verdict wakes the
// server thread to collect it.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>

#include "opcua/PasswordChecker.h"

namespace opcua {

class PasswordCheckWorker final : public PasswordChecker {
 public:
  using Check = std::function<StatusCode(std::string_view user, std::string_view password)>;
  // `check` runs on the worker's thread; `wake` runs there after each
  // verdict and must be callable from any thread.
  PasswordCheckWorker(Check check, std::function<void()> wake);
  ~PasswordCheckWorker() override;  // drops unchecked work and joins
  PasswordCheckWorker(const PasswordCheckWorker&) = delete;
  PasswordCheckWorker& operator=(const PasswordCheckWorker&) = delete;

  void Submit(PasswordCheck check) override;
  std::vector<PasswordVerdict> TakeVerdicts() override;

 private:
  void Run();
  StatusCode Verdict(const PasswordCheck& check) const;

  Check check_;
  std::function<void()> wake_;
  std::mutex mutex_;
  std::condition_variable work_;
  std::deque<PasswordCheck> waiting_;
  std::vector<PasswordVerdict> done_;
  bool stop_ = false;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace opcua

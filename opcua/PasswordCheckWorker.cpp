#include "opcua/PasswordCheckWorker.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace opcua {

PasswordCheckWorker::PasswordCheckWorker(Check check, std::function<void()> wake)
    : check_(std::move(check)), wake_(std::move(wake)), thread_([this] { Run(); }) {}

PasswordCheckWorker::~PasswordCheckWorker() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  work_.notify_one();
  thread_.join();
}

void PasswordCheckWorker::Submit(PasswordCheck check) {
  {
    std::lock_guard lock(mutex_);
    waiting_.push_back(std::move(check));
  }
  work_.notify_one();
}

std::vector<PasswordVerdict> PasswordCheckWorker::TakeVerdicts() {
  std::lock_guard lock(mutex_);
  return std::exchange(done_, {});
}

StatusCode PasswordCheckWorker::Verdict(const PasswordCheck& check) const {
  // A check that fails in itself refuses the sign-in and is reported; the
  // worker goes on with the next one.
  try {
    return check_ ? check_(check.user, check.password) : status::BadUserAccessDenied;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "password check of user '%s' failed: %s\n", check.user.c_str(), e.what());
  } catch (...) {
    std::fprintf(stderr, "password check of user '%s' failed with an unknown exception\n",
                 check.user.c_str());
  }
  return status::BadInternalError;
}

void PasswordCheckWorker::Run() {
  try {
    std::unique_lock lock(mutex_);
    for (;;) {
      work_.wait(lock, [this] { return stop_ || !waiting_.empty(); });
      if (stop_) return;
      PasswordCheck check = std::move(waiting_.front());
      waiting_.pop_front();
      lock.unlock();
      PasswordVerdict verdict{check.ticket, Verdict(check)};
      lock.lock();
      done_.push_back(verdict);
      lock.unlock();
      wake_();
      lock.lock();
    }
  } catch (const std::exception& e) {
    // Only the lock or the wake can throw here; sign-ins then wait until
    // their sessions time out, and the server goes on.
    std::fprintf(stderr, "password check thread ends: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "password check thread ends with an unknown exception\n");
  }
}

}  // namespace opcua

// Saves that were killed half-way: the next save of the same target removes
// the temporaries they left, and only theirs.

#include "persistence/SafeFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "TestSupport.h"

namespace qx {
namespace {

namespace fs = std::filesystem;

std::set<std::string> FileNames(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// A pid that no process has: one of a child that has ended and been reaped.
pid_t EndedProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

// Saves `bytes` to `path` in a child process that the system kills half-way
// through writing the temporary (the file size limit's signal), as a SIGKILL
// or a power cut would stop it.
void SaveKilledHalfWay(const std::string& path, const std::string& bytes) {
  const pid_t child = fork();
  if (child == 0) {
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    signal(SIGXFSZ, SIG_DFL);
    std::string reason;
    ReplaceFile(path, bytes, reason);
    _exit(0);  // not reached: the write past the limit ends the process
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
}

TEST(SafeFileTest, TheNextSaveRemovesTheTemporariesOfKilledSavesOnly) {
  test::TempDir dir;
  const std::string path = dir.File("case.pid");
  test::WriteBytes(path, "old");
  SaveKilledHalfWay(path, std::string(64 * 1024, 'x'));
  ASSERT_EQ(FileNames(dir.path()).size(), 2u) << "the killed save left its temporary";
  EXPECT_EQ(test::ReadBytes(path), "old") << "a killed save never tears the file";

  // What a save must leave alone: a save of the same target running now in
  // a live process (this one), the temporary of another target, a file the
  // user named alike, and a young temporary of the older form without pid
  // (it may belong to a save of an older version running now).
  const std::string running = ".case.pid." + std::to_string(getpid()) + ".Ab12Cd";
  const std::string otherTarget = ".other.pid." + std::to_string(EndedProcess()) + ".Ab12Cd";
  const std::string userFile = ".case.pid.notes";
  const std::string youngOlderForm = ".case.pid.Xy34Zw";
  const std::string oldOlderForm = ".case.pid.Qr56St";
  for (const std::string& name : {running, otherTarget, userFile, youngOlderForm, oldOlderForm})
    test::WriteBytes(dir.File(name), "partial");
  // An older-form temporary that has not changed for longer than a save
  // can take is stale.
  const timespec longAgo[2] = {{0, UTIME_OMIT}, {time(nullptr) - 3600, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir.File(oldOlderForm).c_str(), longAgo, 0), 0);

  std::string reason;
  ASSERT_TRUE(ReplaceFile(path, "new", reason)) << reason;
  EXPECT_EQ(test::ReadBytes(path), "new");
  EXPECT_EQ(FileNames(dir.path()),
            (std::set<std::string>{"case.pid", running, otherTarget, userFile, youngOlderForm}));
}

}  // namespace
}  // namespace qx

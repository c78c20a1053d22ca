// Feeds arbitrary bytes to the case reader as the content of a case file.
// The bytes live in a memory file reached through /proc/self/fd, so the
// real file path is exercised (open, lock, streamed inflate) without disk.
// Each input is read under both decimal separators into a fresh model.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "persistence/CaseFile.h"
#include "persistence/CaseListing.h"

namespace {

class QuietHost final : public qx::CaseHost {
 public:
  void ShowErrorBox(std::string_view, std::string_view) override {}
  void ShowLoopKind() override {}
  void ShowAutoMode() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fd = memfd_create("case", MFD_CLOEXEC);
  if (fd < 0) return 0;
  for (size_t done = 0; done < size;) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) {
      close(fd);
      return 0;
    }
    done += static_cast<size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  for (char separator : {'.', ','}) {
    QuietHost host;
    qx::LoopModel model;
    qx::CaseExtras extras;
    qx::ReadCase(path, model, extras, separator, host);
  }
  std::string listing, error;
  qx::DumpCaseListing(path, listing, error);
  close(fd);
  return 0;
}

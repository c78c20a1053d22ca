// Feeds arbitrary bytes to the case reader twice: once as the content of a
// case file, and once compressed, as the text inside one, so that the line
// splitting, the tag check and the value conversions see arbitrary text
// too. The files live in memory and are reached through /proc/self/fd, so
// the real path (open, lock, streamed inflate) runs without disk. Each file
// is read under both decimal separators into a fresh model, and listed.
// Any real the bytes spell must also survive writing and reading back.
#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/RealText.h"
#include "persistence/CaseFile.h"
#include "persistence/CaseListing.h"
#include "persistence/RawDeflate.h"

namespace {

class QuietHost final : public qx::CaseHost {
 public:
  void ShowErrorBox(std::string_view, std::string_view) override {}
  void ShowLoopKind() override {}
  void ShowAutoMode() override {}
};

void ReadAsCaseFile(std::string_view bytes) {
  int fd = memfd_create("case", MFD_CLOEXEC);
  if (fd < 0) return;
  for (std::size_t done = 0; done < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      close(fd);
      return;
    }
    done += static_cast<std::size_t>(n);
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
}

void CheckRealRoundTrip(std::string_view text) {
  float value = 0, back = 0;
  std::string failure;
  if (!qx::ParseReal(text, '.', value, failure)) return;
  if (!qx::ParseReal(qx::FormatReal(value, '.'), '.', back, failure) ||
      std::bit_cast<uint32_t>(back) != std::bit_cast<uint32_t>(value))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ReadAsCaseFile(bytes);
  std::string compressed;
  if (qx::DeflateRaw(bytes, compressed)) ReadAsCaseFile(compressed);
  CheckRealRoundTrip(bytes);
  return 0;
}

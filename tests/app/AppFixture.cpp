#include "AppFixture.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "persistence/CaseListing.h"
#include "persistence/RawDeflate.h"

namespace qx::test {

namespace {
const char* IconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::None: return "";
    case MessageIcon::Error: return " [error]";
    case MessageIcon::Question: return " [question]";
    case MessageIcon::Information: return " [information]";
  }
  return "";
}
}  // namespace

bool FakeAppHost::AskYesNo(std::string_view question) {
  Log.push_back("ask: " + std::string(question));
  if (Answers.empty()) return true;
  const bool answer = Answers.front();
  Answers.pop_front();
  return answer;
}

void FakeAppHost::ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) {
  Log.push_back("box " + std::string(caption) + ": " + std::string(text) + IconName(icon));
}

void FakeAppHost::ShowGeneralError(std::string_view text) {
  Log.push_back("general error: " + std::string(text));
}

std::optional<std::string> FakeAppHost::ChooseCaseFileToOpen() {
  Log.push_back("open dialog");
  return OpenChoice;
}

std::optional<std::string> FakeAppHost::ChooseCaseFileToSave() {
  Log.push_back("save dialog");
  return SaveChoice;
}

void FakeAppHost::SetCaption(std::string_view caption) {
  Caption = caption;
  Log.push_back("caption: " + Caption);
}

void FakeAppHost::ShowCurrentDirectory(std::string_view folder) {
  Log.push_back("directory: " + std::string(folder));
}

void StoppingRunHost::ProcessMessages(MessagePoint point) {
  app_.DeliverClientWrites();
  if (point != MessagePoint::StepStart) return;
  const int64_t step = sim_.Run.StepsDone;
  if (OnStep) OnStep(step);
  if (step >= StopAtStep) sim_.Model.RunControl.StopRequested = true;
}

void StoppingRunHost::RunStarting() {
  Runs.push_back(sim_.Run.Active ? "start inside a run" : "start");
  StartGains.push_back(LoadShared(sim_.Model.SingleLoop.P));
  PanelRunHost::RunStarting();
}

void StoppingRunHost::RunEnded() { Runs.push_back("end at step " + std::to_string(sim_.Run.StepsDone)); }

WorkingFolder::WorkingFolder() : previous_(std::filesystem::current_path().string()) {
  std::string pattern = (std::filesystem::temp_directory_path() / "qx-app-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  path_ = std::filesystem::canonical(pattern).string();
  std::filesystem::current_path(path_);
}

WorkingFolder::~WorkingFolder() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string StartingCaseListing() {
  std::ifstream in(QX_STARTING_CASE_LISTING, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteCaseFile(const std::string& path, const std::string& listing) {
  std::string error;
  ASSERT_TRUE(PackCaseListing(listing, path, '.', error)) << error;
}

void WriteCaseFileWithValue(const std::string& path, const std::string& field,
                            const std::string& value) {
  // Packs a valid case, then puts the value into the field's line of the
  // file's text, where no listing check stands in the way.
  WriteCaseFile(path, StartingCaseListing());
  std::string listing, error;
  ASSERT_TRUE(DumpCaseListing(path, listing, error)) << error;
  const std::string key = "\n" + field + "=";
  const std::size_t at = listing.find(key);
  ASSERT_NE(at, std::string::npos) << field;
  const std::size_t lineNumber =
      static_cast<std::size_t>(std::count(listing.begin(), listing.begin() + at + 1, '\n'));
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  in.close();
  std::string text;
  ASSERT_TRUE(InflateRaw(std::string_view(bytes.str()), text));
  std::size_t start = 0;
  for (std::size_t line = 0; line < lineNumber; ++line) start = text.find('\n', start) + 1;
  const std::size_t end = text.find_first_of("\r\n", start);
  text.replace(start, end - start, value);
  std::string compressed;
  ASSERT_TRUE(DeflateRaw(text, compressed));
  std::ofstream(path, std::ios::binary | std::ios::trunc) << compressed;
}

std::string ServeOnFreePort(Application& app) {
  std::mt19937 random(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::string error;
  for (int attempt = 0; attempt < 20; ++attempt) {
    const std::string endpoint = "opc.tcp://127.0.0.1:" + std::to_string(5100 + random() % 200);
    if (app.StartServer(endpoint, error)) return endpoint;
  }
  ADD_FAILURE() << "no free port for the OPC server: " << error;
  return {};
}

}  // namespace qx::test

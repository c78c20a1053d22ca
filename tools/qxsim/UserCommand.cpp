#include "tools/qxsim/UserCommand.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <optional>

#include "opc/ServerSecurityConfig.h"
#include "persistence/UsersFile.h"

namespace qx {
namespace {

constexpr const char* kUsage = "usage: qxsim user add NAME | qxsim user remove NAME\n";

// One line of standard input without its line end; nothing at end of input.
std::optional<std::string> ReadLine() {
  std::string line;
  if (!std::getline(std::cin, line) && line.empty()) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// The terminal's settings while its echo is off, so that Ctrl-C during the
// question leaves the terminal as it was.
termios gEchoingTerminal{};

void RestoreEchoAndDie(int signal) {
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &gEchoingTerminal);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Asks on standard error and reads the answer from the terminal with its
// echo turned off.
std::optional<std::string> AskHidden(const std::string& prompt) {
  std::cerr << prompt << std::flush;
  const bool quiet = tcgetattr(STDIN_FILENO, &gEchoingTerminal) == 0;
  if (quiet) {
    termios silent = gEchoingTerminal;
    silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
    std::signal(SIGINT, RestoreEchoAndDie);
    std::signal(SIGTERM, RestoreEchoAndDie);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  }
  std::optional<std::string> answer = ReadLine();
  if (quiet) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &gEchoingTerminal);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
  }
  std::cerr << '\n';
  return answer;
}

bool ReadPassword(const std::string& user, std::string& password, std::string& error) {
  if (!isatty(STDIN_FILENO)) {
    std::optional<std::string> line = ReadLine();
    if (!line) {
      error = "no password on standard input";
      return false;
    }
    password = *line;
    return true;
  }
  std::optional<std::string> first = AskHidden("Password for " + user + ": ");
  std::optional<std::string> second = first ? AskHidden("Password again: ") : std::nullopt;
  if (!first || !second) {
    error = "no password given";
    return false;
  }
  if (*first != *second) {
    error = "the two passwords differ";
    return false;
  }
  password = *first;
  return true;
}

}  // namespace

int UserCommand(const std::vector<std::string>& args) {
  if (args.size() != 2 || (args[0] != "add" && args[0] != "remove")) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string& user = args[1];
  std::string error;
  if (!ValidUserName(user, error)) {
    std::cerr << "qxsim user: " << error << '\n';
    return 2;
  }
  const std::string path = UsersFilePath();
  UsersFile users;
  if (!users.Load(path, error)) {
    std::cerr << "qxsim user: " << error << '\n';
    return 1;
  }
  for (const std::string& problem : users.Problems()) std::cerr << "qxsim user: " << problem << '\n';
  if (users.HasMalformedLines()) {
    // Rewriting would keep the lines as they are; the administrator mends
    // them first, so that nobody is surprised by a user who cannot sign in.
    std::cerr << "qxsim user: " << path << " is left unchanged until the lines above are mended or removed\n";
    return 1;
  }
  const bool existed = users.Has(user);
  if (args[0] == "remove") {
    if (!users.Remove(user)) {
      std::cerr << "qxsim user: no user '" << user << "' in " << path << '\n';
      return 1;
    }
  } else {
    std::string password;
    if (!ReadPassword(user, password, error) || !users.Add(user, password, error)) {
      std::cerr << "qxsim user: " << error << '\n';
      return 1;
    }
  }
  if (!users.Save(path, error)) {
    std::cerr << "qxsim user: " << error << '\n';
    return 1;
  }
  const char* done = args[0] == "remove" ? " removed from "
                     : existed           ? " has a new password in "
                                         : " added to ";
  std::cerr << "qxsim user: " << user << done << path << '\n';
  return 0;
}

}  // namespace qx

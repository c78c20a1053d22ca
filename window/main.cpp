// QxOPCServer: the registration switches, or the window with its OPC server.
#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/AppHost.h"
#include "app/CommandLine.h"
#include "opc/GBDataAccess.h"
#include "window/ApplicationNames.h"
#include "window/MainWindow.h"
#include "window/Prompter.h"
#include "window/side/ToolbarImages.h"

namespace {

// What the manual page QxOPCServer(1) describes in full.
constexpr const char* kUsage =
    "usage: QxOPCServer [CASE.pid] [--history=VALUES]\n"
    "       QxOPCServer -regserver | -unregserver   (also /regserver, -r, /u, any case)\n"
    "       QxOPCServer --help | --version\n"
    "See QxOPCServer(1).\n";

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  // Answered without a display, before anything else looks at the line.
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "--version")) {
    if (arguments[0] == "--help")
      std::fputs(kUsage, stdout);
    else
      std::printf("QxOPCServer %s\n", QX_VERSION);
    return 0;
  }
  // The switches need no display: handled before the GUI exists.
  const qx::ServerSwitch serverSwitch = qx::FindServerSwitch(qx::ArgumentText(arguments));
  if (serverSwitch != qx::ServerSwitch::None) {
    qx::PerformServerSwitch(serverSwitch);
    return 0;
  }
  // The window moves the working directory; a case named relative to where
  // the program was started is taken from there.
  std::optional<std::string> startupCase = qx::CaseFileArgument(arguments);
  if (startupCase) startupCase = QFileInfo(QString::fromStdString(*startupCase)).absoluteFilePath().toStdString();

  std::optional<std::size_t> historyValues;
  std::string historyError;
  if (!qx::HistoryArgument(arguments, historyValues, historyError)) {
    std::fprintf(stderr, "QxOPCServer: %s\n", historyError.c_str());
    return 2;
  }

  QApplication application(argc, argv);
  qx::SetApplicationNames();
  // The event loop's code: kFatalExitCode when a fatal path ended it (a
  // memory allocation that failed).
  int status = qx::kFatalExitCode;
  try {
    QApplication::setWindowIcon(qx::ApplicationIcon());
    qx::QtPrompter prompter;
    qx::TForm1 form(prompter);
    prompter.SetParent(&form);
    if (startupCase) form.SetStartupCase(*startupCase);
    if (historyValues) form.SetLoopHistoryCapacity(*historyValues);
    form.StartServerThread(qx::DefaultEndpointUrl());
    form.showMaximized();
    status = QApplication::exec();
  } catch (const std::exception& error) {
    status = qx::kFatalExitCode;
    QMessageBox::critical(nullptr, qx::ApplicationTitle(), QString::fromUtf8(error.what()));
  } catch (...) {
    status = qx::kFatalExitCode;
    QMessageBox::critical(nullptr, qx::ApplicationTitle(),
                          QCoreApplication::translate("qx::Application", "An unknown error ended the program."));
  }
  return status;
}

// QxOPCServer: the registration switches, or the window with its OPC server.
#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <exception>
#include <string>
#include <vector>

#include "app/AppHost.h"
#include "app/CommandLine.h"
#include "opc/GBDataAccess.h"
#include "window/MainWindow.h"
#include "window/Prompter.h"
#include "window/side/ToolbarImages.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
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

  QApplication application(argc, argv);
  QApplication::setApplicationName("Quorvanex OPC Server For Simulation (SLAVE)");
  // The event loop's code: kFatalExitCode when a fatal path ended it (a
  // memory allocation that failed).
  int status = qx::kFatalExitCode;
  try {
    QApplication::setWindowIcon(qx::ApplicationIcon());
    qx::QtPrompter prompter;
    qx::TForm1 form(prompter);
    prompter.SetParent(&form);
    if (startupCase) form.SetStartupCase(*startupCase);
    form.StartServerThread(qx::DefaultEndpointUrl());
    form.showMaximized();
    status = QApplication::exec();
  } catch (const std::exception& error) {
    status = qx::kFatalExitCode;
    QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromUtf8(error.what()));
  } catch (...) {
    status = qx::kFatalExitCode;
    QMessageBox::critical(nullptr, QApplication::applicationName(), "An unknown error ended the program.");
  }
  return status;
}

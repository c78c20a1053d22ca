// The programs that drive the main window through a script and take one
// picture of it: the picture's file, and their main.
#pragma once

#include <QApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QString>
#include <chrono>
#include <cstdio>
#include <utility>

#include "window/tools/AnsweringPrompter.h"
#include "window/tools/WindowScript.h"

namespace qx {

// A script whose grab step writes the picture to `path`.
class PictureScript : public WindowScript {
 public:
  PictureScript(TForm1& form, const char* program, QString path)
      : WindowScript(form, program), path_(std::move(path)) {}

  bool Saved() const { return saved_; }

 protected:
  void Save(const QPixmap& picture) {
    saved_ = picture.save(path_, "PNG");
    if (!saved_) std::fprintf(stderr, "%s: cannot write %s\n", Program(), qPrintable(path_));
  }

 private:
  QString path_;
  bool saved_ = false;
};

// The main of `program PATH.png`: opens the window offscreen on the starting
// case and plays the script of a `Script` made from the window and the
// picture's absolute path, for `limit` at the most. Exits with 0 when the
// picture was written, 1 when not, 2 on a wrong command line.
template <class Script>
int RunPictureProgram(int argc, char** argv, const char* program, std::chrono::seconds limit) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PATH.png\n", program);
    return 2;
  }
  UseOffscreenUnlessSet();
  QApplication application(argc, argv);
  KeepSettingsApart();
  // Resolved before the window moves the working directory.
  const QString path = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();

  AnsweringPrompter prompter;
  TForm1 form(prompter);
  OpenStartingCase(form);

  Script script(form, path);
  const bool timedOut = !PlayScript(form, script.Script(), limit);

  for (const QString& text : prompter.Shown) std::fprintf(stderr, "box shown: %s\n", qPrintable(text));
  if (timedOut)
    std::fprintf(stderr, "%s: gave up after %lld s\n", program, static_cast<long long>(limit.count()));
  return script.Saved() && !timedOut ? 0 : 1;
}

}  // namespace qx

#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What the windows' logic needs from a toolkit. The Qt GUI, the command-line
// front end and the tests each supply one.
class Platform {
 public:
  virtual ~Platform() = default;

  // Modal message box with one OK button, titled with the application title.
  virtual void ShowMessage(const std::string& text) = 0;
  // Modal question with Yes and No; true for Yes. A front end that cannot
  // ask answers No.
  virtual bool AskYesNo(const std::string& /*question*/) { return false; }
  // The application's standard error display (an uncaught error's text).
  virtual void ShowError(const std::string& text) = 0;

  // The main window's 1000 ms timer; each tick calls the tick handler it was given.
  virtual void SetTimerEnabled(bool enabled) = 0;
  // Runs the routine serialised with every handler and tick of the front end
  // and returns when it has run. Called from workers. The window runs it on
  // its GUI thread; a front end without one may run it on the caller under
  // the lock its own thread holds (the hand-over rule in TaskRun.h).
  virtual void RunOnGuiThread(const std::function<void()>& routine) = 0;
  // Runs the routine serialised like RunOnGuiThread, but later: the caller
  // does not wait for it (a background job's lines, which need no hand-over).
  virtual void PostToGuiThread(std::function<void()> routine) = 0;
  // Runs what workers hand over (and what else the front end serves) until
  // done() holds: how the front end's own thread waits for workers that may
  // still hand something over. done() changes only in what is served. Called
  // on the serialised side, as a handler is; never from a routine that
  // RunOnGuiThread runs.
  virtual void ServeUntil(const std::function<bool()>& done) = 0;

  // File-open dialog; nullopt when cancelled. filter is "Label(*.ext)|*.ext".
  virtual std::optional<std::string> OpenFileDialog(const std::string& title, const std::string& filter,
                                                    const std::string& startFolder) = 0;
  // Asks for one line of text, with a "File..." button beside it that fills
  // it from a file-open dialog (filter as above); nullopt when cancelled. A
  // front end that cannot ask answers nullopt.
  virtual std::optional<std::string> AskForText(const std::string& /*question*/, const std::string& /*fileFilter*/) {
    return std::nullopt;
  }
  // Folder-browse dialog; nullopt when cancelled.
  virtual std::optional<std::string> BrowseForFolder(const std::string& title) = 0;

  // The desktop's "open" for a file, folder or address; the result is not looked at.
  virtual void ShellOpen(const std::string& target) = 0;
  // The same for a file the user asked to see, with a word when nothing can
  // show it: noProgram runs on the GUI thread, perhaps later, when the desktop
  // has no program for the file. A front end that cannot tell just opens it.
  virtual void ShellOpenFile(const std::string& path, std::function<void()> noProgram) {
    (void)noProgram;
    ShellOpen(path);
  }
  // Starts a program with these arguments; a missing program does nothing.
  virtual void StartProgram(const std::string& path, const std::vector<std::string>& arguments) = 0;

  // The local date and time as the task files show it.
  virtual std::string NowText() = 0;
  // Folder of the running executable, with a trailing separator.
  virtual std::string ExecutableFolder() = 0;
  // Bytes free for this user on the disk that holds path; -1 when unknown.
  virtual int64_t FreeDiskBytes(const std::string& path);
};

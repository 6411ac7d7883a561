#include "CliRepack.h"

#include <QCoreApplication>

#include <atomic>
#include <thread>

#include "AppPaths.h"
#include "AtomicFile.h"
#include "CliPlatform.h"
#include "InterruptSignal.h"
#include "TaskRepack.h"

int RunRepack(CliPlatform& platform, const CliArguments& arguments) {
  RepackRequest request;
  request.projectPath = arguments.repackProject;
  request.toStore = arguments.repackToStore;
  try {
    request.blank = ReadWholeFile(BlankImagePathIn(platform.ExecutableFolder()));
  } catch (const FileWriteError&) {
    // Without it a folder's placeholders read as tiles; a store's cannot be written into a folder.
  }
  std::atomic<bool> stop{false};
  request.stop = &stop;
  std::optional<RepackResult> result;
  std::string failure;
  std::thread worker([&] {
    try {
      result = RepackTask(request);
    } catch (const std::exception& error) {
      failure = error.what();
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  });
  int signalled = 0;
  InterruptSignal interrupt([&](int signal) {
    signalled = signal;
    stop = true;
  });
  QCoreApplication::exec();
  worker.join();
  if (!result) {
    platform.ShowMessage(failure);
    return signalled ? 128 + signalled : 1;
  }
  platform.WriteStderr(RepackSummary(*result, request.toStore));
  return 0;
}

#include "TaskToOpen.h"

#include "RecentTask.h"

std::string TaskToOpen(const std::vector<std::string>& arguments, const std::string& configPath) {
  if (arguments.size() > 1 && !arguments[1].empty()) return arguments[1];
  return LastTask(configPath);
}

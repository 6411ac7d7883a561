#pragma once

#include <string>
#include <vector>

// The project file the viewer opens: the first argument, else the task most
// recently started in the main window; empty when there is neither (the
// viewer then asks with a file dialog).
std::string TaskToOpen(const std::vector<std::string>& arguments, const std::string& configPath);

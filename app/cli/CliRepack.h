#pragma once

#include "CliArguments.h"

class CliPlatform;

// quarnel-cli repack: the task's tiles into one file or a folder. Ctrl+C or
// SIGTERM stops it before the switch-over, leaving the task as it was.
int RunRepack(CliPlatform& platform, const CliArguments& arguments);

#pragma once

#include <string>
#include <variant>
#include <vector>

#include "CliArguments.h"

// quarnel-cli sources ...: the user's tile sources and the shipped catalogue.
//
//   sources                       one line a source: name, tab, zmin-zmax, tab, template
//   sources add FILE|URL [--name NAME]
//   sources show NAME | remove NAME | test NAME
//   sources key NAME              the key from standard input, into the key file
struct SourcesCommand {
  enum class Action { List, Add, Show, Remove, Test, Key };
  Action action = Action::List;
  std::string subject;  // the document for Add, the source's name otherwise
  std::string name;     // --name for Add; empty when not given
};

// words are those after "sources".
std::variant<SourcesCommand, CliUsageError> ParseSourcesCommand(const std::vector<std::string>& words);

// Runs the command with the configuration that --config names (or the
// default one). Exit status: 0 done, 1 a failure (a source that does not
// work, a file that cannot be written), 2 bad input or a refusal.
int RunSources(const CliArguments& arguments);

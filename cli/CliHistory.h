#pragma once
// "quillmark-cli history": the operator's journal on the terminal, with no
// gateway, operator or load. Lists runs, one run's results, or removes old
// runs.

#include <ostream>
#include <string>
#include <vector>

// Runs the history mode on the journal at `journalPath` with the arguments
// after "history". Tab-separated lines go to `out`, messages to `err`.
// Returns 0, 1 (an unknown run, a journal that cannot be read or pruned) or
// 2 (a usage error; nothing is read or changed).
int RunCliHistory(const std::vector<std::string>& args, const std::string& journalPath,
                  std::ostream& out, std::ostream& err);

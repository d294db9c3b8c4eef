// tandemwav-measure's commands, as the program's main calls them: the
// arguments after the command's name; the exit code back. A command line
// that cannot be followed throws UsageError before anything is done.
#pragma once

#include <string>
#include <vector>

namespace measure {

int runCommand(const std::vector<std::string>& args);
int roomCommand(const std::vector<std::string>& args);
int interfaceCommand(const std::vector<std::string>& args);
int reportCommand(const std::vector<std::string>& args);
int measureMain(int argc, char** argv);

} // namespace measure

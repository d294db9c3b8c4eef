// Where the registry image comes from on Linux. The program only ever reads it
// through the Reg* functions; the tests use these to pick exactly the files
// they wrote, so files of other drivers beside the test programs stay out.
#pragma once

#include <string>
#include <vector>

// The files read, in order, later ones adding to and overriding earlier ones:
// the installed registration (<prefix>/share/tandemwav/registry.reg, found from
// the running executable's folder), /etc/tandemwav/registry.reg,
// $XDG_CONFIG_HOME/tandemwav/registry.reg (with ~/.config as the default) and
// registry.reg beside the running executable.
std::vector<std::string> registryImagePaths();

// Replaces this module's image by one read from exactly these files.
void loadRegistryImageFiles(const std::vector<std::string>& paths);

// Files a test needs lie beside its own program (the build puts them there
// and the test bundle keeps them there), wherever that program was copied.
#pragma once

#include <string>

// The path of `name` in the running test program's folder, in the form the
// runtime's file commands take: GBK on Windows, the system's bytes elsewhere.
std::string BesideProgram(const char* name);

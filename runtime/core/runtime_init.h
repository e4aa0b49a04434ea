// RuntimeService 6: runtime initialisation from the program's description.
#pragma once

struct ProgramHeader;

void InitializeRuntime(const ProgramHeader* header);

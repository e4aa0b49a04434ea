// Resource identifiers shared by the resource script and the code that loads
// them. Plain defines: the resource compiler reads this file too.
#pragma once

// The program's icon; windows without icon bytes of their own use it.
#define kProgramIconId 1

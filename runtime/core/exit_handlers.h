// The program's exit handlers: subroutines run once, in registration order,
// by the exit sequence of a normal end. A runtime error clears them first.
#pragma once

using ExitHandler = void (*)();

// RuntimeService 3: appends the handler unless it is already registered.
void RegisterExitHandler(ExitHandler handler);
// Runs every handler in registration order, then empties the list.
void RunExitHandlers();
// Empties the list without running it.
void ClearExitHandlers();

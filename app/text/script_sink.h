// An automation object that a script hands its result to. Named to the
// script engine ("AddObject"), it keeps the one argument of any call made on
// it, so a statement such as "sink.take(xx())" gives the routine the text of
// xx() without asking the engine to evaluate an expression (see
// unicode_escapes.cpp for why).
#pragma once

#include "app/owned.h"
#include "runtime/com/object_holder.h"

// A new sink in an object holder that owns its one reference; the holder's
// object is the sink's IDispatch.
ObjectHolder* NewScriptSink();

// The text of the last argument the script handed to the sink in `holder`
// (a new text; empty when none came or it was not a text).
OwnedText ScriptSinkText(const ObjectHolder* holder);

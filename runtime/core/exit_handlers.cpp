#include "runtime/core/exit_handlers.h"

#include <algorithm>
#include <vector>

namespace {
std::vector<ExitHandler>& Handlers()
{
    static std::vector<ExitHandler> handlers;
    return handlers;
}
}  // namespace

void RegisterExitHandler(ExitHandler handler)
{
    auto& list = Handlers();
    if (!handler || std::find(list.begin(), list.end(), handler) != list.end()) return;
    list.push_back(handler);
}

void RunExitHandlers()
{
    // Take the list first: a handler that registers another must not make the
    // walk run forever, and the list ends empty either way.
    std::vector<ExitHandler> list;
    list.swap(Handlers());
    for (ExitHandler h : list) h();
}

void ClearExitHandlers() { Handlers().clear(); }

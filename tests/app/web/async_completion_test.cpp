// A completion ends only the step it belongs to: one that comes again, comes
// while no step waits, or is of another kind must not end the next step's
// wait while that step's buffer is still being filled.
#include "app/web/async_completion.h"

#include "app/web/download_limits.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using web::AsyncCompletion;
using web::DownloadLimits;
using Outcome = AsyncCompletion::Outcome;
using Returned = AsyncCompletion::Returned;

TEST(AsyncCompletionTest, StrayCompletionsDoNotEndTheNextStepsWait)
{
    enum First { kNone, kCompleted, kFinishedAtOnce };
    const struct {
        const char* name;
        First first;           // the step before the next one
        uint32_t strayKind;    // the stray completion's kind
        bool strayInNextStep;  // it comes once the next step has begun
    } cases[] = {
        {"the first step's completion signalled twice", kCompleted, 1, false},
        {"a completion while no step is open", kNone, 1, false},
        {"a completion of another kind", kNone, 2, true},
        {"a late completion of a call that finished at once", kFinishedAtOnce, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Any function of a loaded system library will do for the pin.
        auto* state = new AsyncCompletion(reinterpret_cast<const void*>(&GetTickCount));
        ASSERT_TRUE(state->Usable());
        if (c.first != kNone) {
            state->Begin(1);
            if (c.first == kCompleted) EXPECT_TRUE(state->Complete(1, true, 0, 7));
            const Returned returned = c.first == kCompleted ? Returned::Pending : Returned::Finished;
            EXPECT_EQ(state->Await(returned, DownloadLimits(0, 10000)), Outcome::Done);
            if (c.first == kCompleted) EXPECT_EQ(state->Value(), 7u);
        }
        if (!c.strayInNextStep) EXPECT_FALSE(state->Complete(c.strayKind, true, 0, 99));
        state->Begin(1);
        if (c.strayInNextStep) EXPECT_FALSE(state->Complete(c.strayKind, true, 0, 99));
        EXPECT_EQ(state->Await(Returned::Pending, DownloadLimits(0, 300)), Outcome::Expired);
        // Its own completion still ends it, carrying its value.
        state->Begin(1);
        EXPECT_TRUE(state->Complete(1, false, 12002, 5));
        EXPECT_EQ(state->Await(Returned::Pending, DownloadLimits(0, 10000)), Outcome::Failed);
        EXPECT_EQ(state->Error(), 12002u);
        state->Release();
    }
}

}  // namespace

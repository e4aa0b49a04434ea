// A completion ends only the step it belongs to: one that comes again, comes
// while no step waits, or is of another kind must not end the next step's
// wait while that step's buffer is still being filled.
#include "app/web/async_completion.h"

#include "app/web/download_limits.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using web::AsyncCompletion;
using Outcome = AsyncCompletion::Outcome;
using Returned = AsyncCompletion::Returned;

// Any function of a loaded system library will do for the pin.
const void* PinnedFunction() { return reinterpret_cast<const void*>(&GetTickCount); }

TEST(AsyncCompletionTest, StrayCompletionsDoNotEndTheNextStepsWait)
{
    enum Stray { kRepeated, kBeforeStep, kOtherKind, kAfterFinishedAtOnce };
    struct Case {
        const char* name;
        Stray stray;
    };
    const Case cases[] = {
        {"the first step's completion signalled twice", kRepeated},
        {"a completion while no step is open", kBeforeStep},
        {"a completion of another kind", kOtherKind},
        {"a late completion of a call that finished at once", kAfterFinishedAtOnce},
    };
    for (const Case& c : cases) {
        auto* state = new AsyncCompletion(PinnedFunction());
        ASSERT_TRUE(state->Usable());
        web::DownloadLimits limits(0, 10000);
        switch (c.stray) {
        case kRepeated:
            state->Begin(1);
            EXPECT_TRUE(state->Complete(1, true, 0, 7)) << c.name;
            EXPECT_EQ(state->Await(Returned::Pending, limits), Outcome::Done) << c.name;
            EXPECT_EQ(state->Value(), 7u) << c.name;
            EXPECT_FALSE(state->Complete(1, true, 0, 99)) << c.name;
            break;
        case kBeforeStep:
            EXPECT_FALSE(state->Complete(1, true, 0, 99)) << c.name;
            break;
        case kOtherKind:
            break;
        case kAfterFinishedAtOnce:
            state->Begin(1);
            EXPECT_EQ(state->Await(Returned::Finished, limits), Outcome::Done) << c.name;
            EXPECT_FALSE(state->Complete(1, true, 0, 99)) << c.name;
            break;
        }
        // The next step: nothing but its own completion may end its wait.
        state->Begin(1);
        if (c.stray == kOtherKind) {
            EXPECT_FALSE(state->Complete(2, true, 0, 99)) << c.name;
        }
        web::DownloadLimits shortWait(0, 300);
        EXPECT_EQ(state->Await(Returned::Pending, shortWait), Outcome::Expired) << c.name;

        // And its own completion still does, carrying its value.
        state->Begin(1);
        EXPECT_TRUE(state->Complete(1, false, 12002, 5)) << c.name;
        EXPECT_EQ(state->Await(Returned::Pending, limits), Outcome::Failed) << c.name;
        EXPECT_EQ(state->Error(), 12002u) << c.name;
        state->Release();
    }
}

}  // namespace

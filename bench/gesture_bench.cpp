// The mouse hook's own decision for the button's gestures, called directly
// as the hook calls it: a wheel notch while the button is held (a step of
// the switcher) and a pointer move while it is held (a side button's press
// that the thumb wobbles), in batches; the median of the batches' time per
// call.  Goal: each below 1 us.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "bench_clock.h"
#include "press_timing.h"

namespace {

constexpr int kBatches = 101;
constexpr int kCallsPerBatch = 10000;

void Ignore(press_timing::PressKind) {}

template <typename Call>
double MedianPerCall(Call call)
{
    std::vector<double> perCall;
    for (int batch = 0; batch < kBatches; ++batch) {
        const Stopwatch watch;
        for (int i = 0; i < kCallsPerBatch; ++i)
            call(i);
        perCall.push_back(watch.Microseconds() / kCallsPerBatch);
    }
    return Median(perCall);
}

}  // namespace

int main()
{
    press_timing::Reset(&Ignore);
    press_timing::SetGestures(true, true);
    MSLLHOOKSTRUCT down{};
    down.pt = POINT{300, 200};
    press_timing::SetHoldMs(0);  // flips at the down: the wheel steps
    press_timing::OnDown(down, MouseButton::XButton1);
    const double notch = MedianPerCall([](int i) { press_timing::OnWheel(i & 1 ? WHEEL_DELTA : -WHEEL_DELTA); });
    press_timing::OnUp();
    press_timing::SetHoldMs(60000);  // held, undecided: every move is weighed
    press_timing::OnDown(down, MouseButton::XButton1);
    const double move = MedianPerCall([](int i) { press_timing::OnMove(POINT{300 + (i & 7), 200 + (i & 3)}); });
    press_timing::SetHoldMs(0);  // so that the up reports a flip rather than sending a click
    press_timing::OnUp();
    std::printf("button gestures, the hook's decision: a wheel notch while held median %.3f us, a move while "
                "held median %.3f us (%d batches of %d calls); goal < 1 us each\n",
                notch, move, kBatches, kCallsPerBatch);
    return 0;
}

// The mouse hook's own work for a pointer move away from the hot corners,
// with all four corners on: hot_corners::OnMove, called directly as the hook
// calls it, in batches of moves; the median of the batches' time per move.
// Goal: below 1 us.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "bench_clock.h"
#include "hot_corners.h"

int main()
{
    constexpr int kBatches = 101;
    constexpr int kMovesPerBatch = 10000;
    hot_corners::Reset(nullptr, nullptr);
    const hot_corners::Places places = hot_corners::FindPlaces(15);
    hot_corners::SetPlaces(places, 150);
    std::vector<double> perMove;
    for (int batch = 0; batch < kBatches; ++batch) {
        const Stopwatch watch;
        for (int i = 0; i < kMovesPerBatch; ++i)
            hot_corners::OnMove(POINT{300 + (i & 255), 200 + (i & 127)});
        perMove.push_back(watch.Microseconds() / kMovesPerBatch);
    }
    std::printf("hot corners: %zu corner places on the monitors; a move away from them: median %.3f us "
                "(%d batches of %d moves); goal < 1 us\n",
                places.count, Median(perMove), kBatches, kMovesPerBatch);
    return 0;
}

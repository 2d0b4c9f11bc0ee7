#include "tarn/TimelineProducer.h"

namespace tarn {

int FindClipAt(const std::vector<ClipData>& clips, std::int64_t t, std::size_t* cursor) {
    while (*cursor < clips.size() && clips[*cursor].timelineStop <= t &&
           clips[*cursor].timelineStart <= t) {
        ++*cursor;
    }
    for (std::size_t i = *cursor; i < clips.size() && clips[i].timelineStart <= t; ++i) {
        if (t < clips[i].timelineStop) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace tarn

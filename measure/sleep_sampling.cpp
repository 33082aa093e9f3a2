#include "measure/sleep_sampling.h"

uint32_t* GrowSampleBuffer(SampleBuffer& samples, const uint32_t* next) {
    const size_t used = static_cast<size_t>(next - samples.data());
    samples.resize(used == 0 ? 1024 : used * 2);
    return samples.data() + used;
}

void BuildHistogram(const SampleBuffer& samples, DelayHistogram& histogram) {
    histogram.clear();
    // Sleeps come in long runs of the same duration, so remembering the
    // last entry saves most of the tree walks.
    auto last = histogram.end();
    for (uint32_t sample : samples) {
        if (last == histogram.end() || last->first != sample) {
            last = histogram.try_emplace(sample, 0).first;
        }
        ++last->second;
    }
}

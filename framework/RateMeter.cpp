#include "RateMeter.h"

#include <algorithm>

void CRateMeter::Add(qint64 nowMs, qint64 n) {
    m_nTotal += n;
    const qint64 index = nowMs / kBucketMs;
    Bucket& bucket = m_buckets[std::size_t(index % kBuckets)];
    if (bucket.index != index)
        bucket = Bucket{index, 0};
    bucket.count += n;
}

double CRateMeter::PerSecond(qint64 nowMs) const {
    const qint64 now = nowMs / kBucketMs;
    qint64 count = 0;
    for (const Bucket& b : m_buckets)
        if (b.index > now - kBuckets && b.index <= now)
            count += b.count;
    // The window ends at nowMs; at the start of a run it is as long as the run.
    const qint64 windowMs =
        std::clamp<qint64>(nowMs - (now - kBuckets + 1) * kBucketMs, 1, nowMs > 0 ? nowMs : 1);
    return double(count) * 1000.0 / double(windowMs);
}

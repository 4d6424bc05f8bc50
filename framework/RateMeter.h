#pragma once
// Counts events and tells their rate over the last few seconds. Times are milliseconds of one
// clock, given by the caller, so that the meter needs no clock of its own.
#include <QtGlobal>
#include <array>

class CRateMeter {
public:
    static constexpr qint64 kBucketMs = 500;
    static constexpr int kBuckets = 10; // the rate is over the last 5 seconds

    void Add(qint64 nowMs, qint64 n = 1);
    qint64 Total() const { return m_nTotal; }
    // Events per second over the last kBuckets * kBucketMs (or the time since the first
    // reading, the meter's start, if that is shorter).
    double PerSecond(qint64 nowMs) const;

private:
    struct Bucket {
        qint64 index = -1; // nowMs / kBucketMs of the events counted in it
        qint64 count = 0;
    };
    std::array<Bucket, kBuckets> m_buckets{};
    qint64 m_nTotal = 0;
};

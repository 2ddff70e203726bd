#ifndef DEBUGONCE_H
#define DEBUGONCE_H

#include <QDebug>
#include <atomic>

// A debug line for a cause met inside per-pixel work: written the first time
// only, so a map of a million pixels does not print a million lines. Cheap
// enough for the hot paths (one relaxed atomic read once it has fired).
class DebugOnce
{
public:
    explicit constexpr DebugOnce(const char* text) : text(text) {}

    void operator()()
    {
        if (!done.load(std::memory_order_relaxed) && !done.exchange(true))
            qDebug().noquote() << text;
    }

private:
    const char* const text;
    std::atomic<bool> done{false};
};

#endif

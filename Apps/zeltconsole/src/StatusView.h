// The console's view of the logger's status snapshot: what a person reads at a glance.
#pragma once

#include <QJsonObject>

#include <string>
#include <vector>

struct StatusView
{
    std::string problem; // why the snapshot does not show a running logger; empty when it does
    std::vector<std::string> lines;
};

// When the snapshot is read, on the reader's clocks.
struct ReadingTime
{
    double unix = 0;      // wall clock, seconds since 1970
    double monotonic = 0; // Platform::monotonicSeconds()
    std::string bootId;   // Platform::bootId()
};

// The view of a parsed snapshot read from shownPath at the given time.
StatusView statusView(const QJsonObject& snapshot, const ReadingTime& now, const std::string& shownPath);

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

// The view of a parsed snapshot read from shownPath at nowUnix (seconds since 1970).
StatusView statusView(const QJsonObject& snapshot, double nowUnix, const std::string& shownPath);

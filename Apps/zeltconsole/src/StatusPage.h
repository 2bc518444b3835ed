// The status page: one HTML file with its style and script inline (web/index.html), built into the
// program so that the server has nothing to look for.
#pragma once

#include <string_view>

extern const std::string_view kStatusPage;

#!/usr/bin/env bash
# Installs, builds and runs the logger until ctrl-C or SIGTERM.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
VIVOZO_TESTS_ARG=-DVIVOZO_TESTS=ON
"$here/scripts/build.sh" "$here/build"
exec "$here/build/Apps/RORUVivozo/RORUVivozo" -debug 31

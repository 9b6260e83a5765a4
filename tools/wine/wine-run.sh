#!/usr/bin/env bash
# Runs one Windows program under Wine and passes its exit status on.
# Inside a CTest run ZORVI_WINE_STATE names the run's environment (see wine-env.sh);
# run by hand, it sets up a temporary environment and removes it afterwards.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
own=""
if [ -z "${ZORVI_WINE_STATE:-}" ] || [ ! -f "$ZORVI_WINE_STATE/env" ]; then
    own=$(mktemp -d /tmp/zorvi-wine.XXXXXX)
    trap '"$here/wine-env.sh" stop "$own" >/dev/null 2>&1; rm -rf "$own"' EXIT
    "$here/wine-env.sh" start "$own" >/dev/null
    ZORVI_WINE_STATE=$own
fi
# shellcheck disable=SC1091
. "$ZORVI_WINE_STATE/env"
set +e
wine "$@"
status=$?
set -e
exit $status

#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's environment; the exit
# code and output pass through. ctest uses it as the cross-compiling emulator.
source "$(dirname "$0")/wine-env.sh"
ensure_wine_prefix
exec "$WINE" "$@"

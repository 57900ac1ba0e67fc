#!/usr/bin/env bash
# Runs a Windows program of the build under Wine with the project's settings
# (used by CTest as the cross-compiling emulator).
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
exec wine "$@"

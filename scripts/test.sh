#!/usr/bin/env bash
# Builds lumo and runs every test: the g++ debug build, the clang build under
# AddressSanitizer and UndefinedBehaviorSanitizer, and whatever further suites
# the machine can run.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --workflow --preset test
cmake --workflow --preset asan-test

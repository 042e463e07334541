#!/usr/bin/env bash
# The main job: set up, build the release front end and convert a sample batch.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
scripts/setup.sh
scripts/build.sh release tamber
echo "main-job: built build/release/tamber (the conversion job arrives with the engine)"

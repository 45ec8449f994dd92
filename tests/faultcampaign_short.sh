#!/usr/bin/env bash
# The short form of the fault campaign: one damaged case of every kind (picture, font, effect,
# tune, venue, settings, capture) against the real game of this build, from a fixed seed so a
# failure repeats. The long form runs by hand: tools/faultcampaign.sh -n 300 build-asan
# Usage: faultcampaign_short.sh <build dir>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exec bash "$root/tools/faultcampaign.sh" -n 7 -s "${TIBREL_CAMPAIGN_SEED:-1}" "${1:?build directory}"

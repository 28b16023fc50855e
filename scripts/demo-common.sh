# Sourced by each demonstration step (scripts/demo.d): strict mode, the repository root as the
# working folder, the build's programs in $bin, a scratch folder $work. At exit the elevated
# helper a step started (start_helper) is ended and the scratch folder removed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/helper-start.sh
bin=build/bin
work=$(mktemp -d)
demo_cleanup() {
    stop_helper
    rm -rf "$work"
}
trap demo_cleanup EXIT

# Sourced by the scripts: sets `jobs`, the number of parallel build and test
# jobs, from JOBS (a positive number), by default every core.
jobs=${JOBS:-$(nproc)}
if ! [[ "$jobs" =~ ^[1-9][0-9]*$ ]]; then
  echo "$(basename "$0"): JOBS must be a positive number of jobs, not '$jobs'" >&2
  exit 2
fi

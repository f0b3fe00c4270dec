# Sourced by scripts/screenshot and tests/browser_test.sh: Debian's chromium,
# headless and offline, on a file of this machine.
#   kestrel_headless_chromium CHROMIUM [FLAG...] FILE
# Each run has a fresh profile, removed afterwards, and may take two minutes
# at most. --no-sandbox because the tests run as root; no name is looked up
# and no proxy answers, so nothing is fetched from anywhere.
kestrel_headless_chromium() {
  local chromium=$1 profile status=0
  shift
  profile=$(mktemp -d)
  timeout 120 "$chromium" --headless --no-sandbox --disable-gpu --disable-quic \
    --no-first-run --disable-background-networking --disable-component-update \
    --disable-sync --disable-extensions --hide-scrollbars \
    --force-device-scale-factor=1 --host-resolver-rules='MAP * ~NOTFOUND' \
    --proxy-server=127.0.0.1:9 --user-data-dir="$profile" "$@" || status=$?
  rm -rf "$profile"
  return $status
}

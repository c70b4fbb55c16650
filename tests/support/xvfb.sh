# Sourced by the scripts that need a private X server (Wine needs X to make
# windows):
#
#   iz_start_xvfb WIDTHxHEIGHTxDEPTH
#     starts Xvfb with one screen of that size on the first free display
#     number, waits until it takes connections and exports DISPLAY. The pid
#     is left in IZ_XVFB_PID for the caller's clean-up (iz_stop_xvfb).
#     Returns non-zero, having said why, when Xvfb is missing or no display
#     comes up.
#   iz_stop_xvfb
#     stops the server iz_start_xvfb started, if any.

IZ_XVFB_PID=

iz_start_xvfb() {
  local size=$1 n
  if ! command -v Xvfb >/dev/null 2>&1; then
    echo "xvfb: Xvfb not found: run scripts/setup to install it" >&2
    return 1
  fi
  for n in $(seq 90 199); do
    # A lock without a socket is a server that is starting or died untidily:
    # leave its number alone either way.
    if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; then continue; fi
    Xvfb ":$n" -screen 0 "$size" -nolisten tcp >/dev/null 2>&1 &
    IZ_XVFB_PID=$!
    for _ in $(seq 100); do
      kill -0 "$IZ_XVFB_PID" 2>/dev/null || break
      [ -S "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    # Another server may have taken the number in the meantime; ours then
    # gives up, and the next number is tried. The socket alone does not say
    # whose it is (ours may not have given up yet): the lock holds the pid.
    if kill -0 "$IZ_XVFB_PID" 2>/dev/null && [ -S "/tmp/.X11-unix/X$n" ] &&
       [ "$(tr -d ' \n' < "/tmp/.X$n-lock" 2>/dev/null)" = "$IZ_XVFB_PID" ]; then
      export DISPLAY=":$n"
      return 0
    fi
    iz_stop_xvfb
  done
  echo "xvfb: no Xvfb display could be started on :90 to :199" >&2
  return 1
}

iz_stop_xvfb() {
  if [ -n "$IZ_XVFB_PID" ]; then
    kill "$IZ_XVFB_PID" 2>/dev/null || true
    wait "$IZ_XVFB_PID" 2>/dev/null || true
    IZ_XVFB_PID=
  fi
}

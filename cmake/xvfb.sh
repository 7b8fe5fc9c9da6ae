# Sourced by the scripts that need a virtual display of their own.
# start_xvfb FIRST [WxH]: starts Xvfb (1280x1024 unless told) on the first free display number
# from FIRST, waits until it takes connections, and sets DISPLAY, TOLM_VIRTUAL_DISPLAY=1 and
# xvfb_pid.
start_xvfb() {
    n=$1
    size=${2:-1280x1024}
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    i=0
    while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    export DISPLAY=":$n" TOLM_VIRTUAL_DISPLAY=1
}

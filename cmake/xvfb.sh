# Sourced by the scripts that need a virtual display of their own.
# start_xvfb FIRST [WxH]: starts Xvfb (1280x1024 unless told) on the first free display number
# from FIRST, waits until it takes connections, and sets DISPLAY, TOLM_VIRTUAL_DISPLAY=1 and
# xvfb_pid.
# A display is taken when its lock file or socket is there, or when its abstract socket is
# (another root, a container or a sandbox that shares this network namespace but not /tmp): a
# client asking for it would reach that other server. If the server still cannot listen, it
# ends at once, and the next number is tried.
xvfb_taken() {
    [ -e "/tmp/.X$1-lock" ] || [ -e "/tmp/.X11-unix/X$1" ] ||
        grep -q "@/tmp/.X11-unix/X$1\$" /proc/net/unix 2>/dev/null
}
start_xvfb() {
    n=$1
    size=${2:-1280x1024}
    tries=0
    while :; do
        while xvfb_taken "$n"; do n=$((n + 1)); done
        Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        i=0
        while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ] && kill -0 "$xvfb_pid" 2>/dev/null; do
            sleep 0.1
            i=$((i + 1))
        done
        if kill -0 "$xvfb_pid" 2>/dev/null || [ $tries -ge 20 ]; then break; fi
        tries=$((tries + 1))
        n=$((n + 1))
    done
    export DISPLAY=":$n" TOLM_VIRTUAL_DISPLAY=1
}

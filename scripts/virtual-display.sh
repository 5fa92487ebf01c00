# Sourced by the scripts that need an X server of their own. start_virtual_display WIDTHxHEIGHTxDEPTH starts Xvfb
# on a free display number, exports DISPLAY and XVFB_PID (the benchmarks read the server's CPU time from it), and
# stops the server when the script exits. Fails, with what Xvfb said, when the server ends or has not answered
# within ten seconds.
start_virtual_display() {
    local answer
    answer=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp -noreset 3>"$answer" 2>"$answer.log" &
    export XVFB_PID=$!
    trap "kill $XVFB_PID 2>/dev/null; rm -f '$answer' '$answer.log'" EXIT
    for _ in $(seq 100); do
        [ -s "$answer" ] && break
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$answer" ]; then
        echo "Xvfb did not start:" >&2
        cat "$answer.log" >&2
        return 1
    fi
    DISPLAY=":$(head -n1 "$answer")"
    export DISPLAY
}

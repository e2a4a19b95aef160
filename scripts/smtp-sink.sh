# Sourced by the demo and the benchmarks: Postfix's smtp-sink on a free loopback port.

# Prints a loopback port that is free right now.
free_loopback_port() {
    /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# start_smtp_sink PORT BACKLOG [smtp-sink options...]: starts it in the background, sets sink_pid and
# returns once it takes connections.
start_smtp_sink() {
    local port=$1 backlog=$2
    shift 2
    local user=()
    [ "$(id -u)" -eq 0 ] && user=(-u nobody) # smtp-sink refuses to keep root's privileges
    /usr/sbin/smtp-sink "${user[@]}" "$@" "127.0.0.1:$port" "$backlog" &
    sink_pid=$!
    for _ in $(seq 100); do
        /usr/bin/python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1).close()' \
            "$port" 2>/dev/null && return 0
        sleep 0.05
    done
    echo "smtp-sink did not start on port $port" >&2
    return 1
}

stop_smtp_sink() {
    if [ -n "${sink_pid:-}" ]; then
        kill "$sink_pid" 2>/dev/null || true
        wait "$sink_pid" 2>/dev/null || true
        sink_pid=
    fi
}

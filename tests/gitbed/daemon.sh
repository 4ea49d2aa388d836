#!/usr/bin/env bash
# Starts or stops the tests' git server: `git daemon` on 127.0.0.1, on a
# free port, serving every repository under REPOS.
#   daemon.sh start REPOS STATE   prints the port once the daemon accepts
#                                 connections (STATE keeps its pid and log)
#   daemon.sh stop STATE          stops exactly that daemon and waits for it
# Waits are bounded: start gives up after 20 s, stop after 10 s.
set -u
cmd=$1

port_accepts() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

case "$cmd" in
start)
  repos=$(cd "$2" && pwd) state=$3
  mkdir -p "$state"
  # Another program may take the free port before the daemon binds it:
  # then the daemon exits and a new port is tried.
  for _ in 1 2 3 4 5; do
    port=$(free_port)
    rm -f "$state/pid"
    git daemon --export-all --reuseaddr --listen=127.0.0.1 --port="$port" --base-path="$repos" \
      --pid-file="$state/pid" "$repos" </dev/null >"$state/daemon.log" 2>&1 &
    pid=$!
    deadline=$((SECONDS + 20))
    while [ $SECONDS -lt $deadline ]; do
      if ! kill -0 "$pid" 2>/dev/null; then break; fi
      if port_accepts "$port"; then echo "$port" > "$state/port"; echo "$port"; exit 0; fi
      sleep 0.05
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  echo "git daemon did not start; its log:" >&2
  cat "$state/daemon.log" >&2
  exit 1
  ;;
stop)
  state=$2
  [ -f "$state/pid" ] || exit 0
  pid=$(cat "$state/pid")
  kill "$pid" 2>/dev/null
  deadline=$((SECONDS + 10))
  while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
  if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid" 2>/dev/null; fi
  rm -f "$state/pid" "$state/port"
  ;;
*)
  echo "usage: daemon.sh start REPOS STATE | stop STATE" >&2
  exit 2
  ;;
esac

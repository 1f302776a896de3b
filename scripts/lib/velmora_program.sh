# The presenter's program on a desktop: a private nginx-rtmp and the demo
# login service on loopback, and a copy of Velmora in a program folder of its
# own whose HtmlURL.ini points at that service. Sourced by scripts/run, after
# peers.sh (start_nginx_rtmp, peer_pids).

demo_user=demo
demo_password=demo

# start_demo_account_service <build> <folder> <rtmp url>: the service on a
# free loopback port for the demo account. Sets demo_service_port.
start_demo_account_service() {
  local build=$1 dir=$2 url=$3 pid
  local service=$build/tools/demo_account_service/demo_account_service
  [ -x "$service" ] || { echo "$service is missing: build the project first" >&2; return 1; }
  mkdir -p "$dir"
  setsid "$service" --user "$demo_user" --password "$demo_password" --rtmp "$url" >"$dir/out" 2>"$dir/log" &
  pid=$!
  peer_pids+=("$pid TERM")
  # It prints "port N" once it accepts connections.
  for _ in $(seq 100); do
    demo_service_port=$(sed -n 's/^port \([0-9][0-9]*\)$/\1/p' "$dir/out")
    [ -n "$demo_service_port" ] && return 0
    pid_running "$pid" || break
    sleep 0.1
  done
  echo "the demo login service did not start:" >&2
  cat "$dir/log" >&2
  return 1
}

# place_velmora <build> <program folder> <login base URL>: a copy of the
# program and its HtmlURL.ini; the program keeps its settings and recordings
# beside itself, so it runs from a folder of its own. Sets velmora_binary;
# remove_velmora_copy takes the copy away again once it has ended.
place_velmora() {
  local build=$1 folder=$2 login_url=$3 built
  built=$build/program/Velmora
  [ -x "$built" ] || { echo "no Velmora program in $build: build the project first" >&2; return 1; }
  mkdir -p "$folder"
  cp "$built" "$folder/Velmora"
  printf '[PARAMS]\nURL=%s\n' "$login_url" >"$folder/HtmlURL.ini"
  velmora_binary=$folder/Velmora
}

remove_velmora_copy() {
  [ -z "${velmora_binary:-}" ] || rm -f "$velmora_binary"
  velmora_binary=""
}

# print_broadcasts <recording folder>: what the server recorded of every
# broadcast, oldest first (the names end in the time of each).
print_broadcasts() {
  local file found=0
  for file in "$1"/*.flv; do
    [ -e "$file" ] || continue
    echo
    print_recording_summary "$file" || true
    found=1
  done
  [ $found -eq 1 ] || echo "no broadcast reached the server"
}

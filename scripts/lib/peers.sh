# The peers scripts/run publishes with: a private nginx with the RTMP module,
# and, where the desktop has none, a private X server and sound server. Each
# runs in a session of its own, so Ctrl-C reaches only the publishing host;
# stop_peers ends them all. Sourced by scripts/run.

peer_pids=()

# True while the process runs (a child that exited but was not reaped yet
# counts as ended).
pid_running() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [[ $state != Z* ]]
}

# Sends the signal, gives the process five seconds, then kills it.
stop_pid() {
  local pid=$1 signal=${2:-TERM}
  kill -"$signal" "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    pid_running "$pid" || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

stop_peers() {
  local i pid signal
  # Last started, first stopped: the tone before its sound server.
  for ((i = ${#peer_pids[@]} - 1; i >= 0; i--)); do
    read -r pid signal <<<"${peer_pids[i]}"
    stop_pid "$pid" "$signal"
  done
  peer_pids=()
}

loopback_port_answers() {
  (: <>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# A port nobody listens on right now; start_nginx_rtmp retries when another
# program takes it first.
free_loopback_port() {
  local port
  for _ in $(seq 100); do
    port=$((20000 + RANDOM % 40000))
    [ -z "$(ss -Hltn "sport = :$port")" ] && { echo "$port"; return 0; }
  done
  return 1
}

# start_nginx_rtmp <folder> <recording folder> [unique]: nginx with the RTMP
# module on 127.0.0.1, application "live" recording every stream as
# <stream>.flv, or with "unique" every broadcast as <stream>-<time>.flv so a
# later one does not overwrite an earlier one. Sets nginx_port.
start_nginx_rtmp() {
  local dir=$1 rec=$2 unique=off module="" candidate pid port
  [ "${3:-}" != unique ] || unique=on
  for candidate in /usr/lib/nginx/modules/ngx_rtmp_module.so /usr/share/nginx/modules/ngx_rtmp_module.so; do
    [ -r "$candidate" ] && { module=$candidate; break; }
  done
  [ -n "$module" ] || { echo "ngx_rtmp_module.so not found (package libnginx-mod-rtmp)" >&2; return 1; }
  mkdir -p "$dir/logs" "$rec"
  for _ in 1 2 3 4 5; do
    port=$(free_loopback_port) || continue
    cat >"$dir/nginx.conf" <<CONF
load_module $module;
daemon off;
master_process off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/logs/error.log info;
events { worker_connections 128; }
rtmp {
  server {
    listen 127.0.0.1:$port;
    application live {
      live on;
      record all;
      record_path $rec;
      record_unique $unique;
    }
  }
}
CONF
    setsid nginx -p "$dir/" -e "$dir/logs/error.log" -c "$dir/nginx.conf" >"$dir/logs/stdout.log" 2>&1 &
    pid=$!
    for _ in $(seq 100); do
      if loopback_port_answers "$port"; then
        peer_pids+=("$pid QUIT")
        nginx_port=$port
        return 0
      fi
      pid_running "$pid" || break
      sleep 0.1
    done
    stop_pid "$pid" KILL
  done
  echo "nginx did not start:" >&2
  cat "$dir/logs/error.log" >&2 2>/dev/null || true
  return 1
}

# Uses $DISPLAY when an X server answers there, else starts Xvfb and exports
# its DISPLAY.
use_display() {
  local dir=$1/xvfb pid
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    echo "screen: the desktop's display $DISPLAY"
    return 0
  fi
  mkdir -p "$dir"
  # Xvfb writes the display number it picked once it accepts clients.
  setsid Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp -noreset 3>"$dir/display" >"$dir/log" 2>&1 &
  pid=$!
  peer_pids+=("$pid TERM")
  for _ in $(seq 150); do
    [ -s "$dir/display" ] && break
    pid_running "$pid" || break
    sleep 0.1
  done
  [ -s "$dir/display" ] || { echo "Xvfb did not come up:" >&2; cat "$dir/log" >&2; return 1; }
  export DISPLAY=":$(head -n1 "$dir/display")"
  echo "screen: a private Xvfb on $DISPLAY"
}

# Uses the session's sound server when one answers, else starts PulseAudio
# with a null sink, plays a 1 kHz tone into it and sets private_microphone to
# the sink's monitor input, which hears that tone. With "file" as the second
# argument the sound published is a media file's own: the library still
# lists the inputs, so a private server is started, but without the tone.
use_sound() {
  local dir=$1/pulse pid for=${2:-}
  private_microphone=""
  # A probe must not start a sound server of its own. Without
  # XDG_RUNTIME_DIR, libpulse makes a runtime folder under TMPDIR when it
  # finds none: that one goes into the run's folder, which is removed.
  printf 'autospawn = no\n' >"$1/client.conf"
  if PULSE_CLIENTCONFIG="$1/client.conf" TMPDIR="$1" pactl info >/dev/null 2>&1; then
    if [ "$for" = file ]; then echo "sound: the file's own"; else echo "sound: the session's sound server"; fi
    return 0
  fi
  mkdir -p "$dir/home" "$dir/run"
  (cd "$dir" && HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" exec setsid pulseaudio -n --daemonize=no \
    --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no \
    -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    -L "module-null-sink sink_name=strivon_tone sink_properties='device.description=\"Strivon tone\"'") \
    >"$dir/log" 2>&1 &
  pid=$!
  peer_pids+=("$pid TERM")
  export PULSE_SERVER="unix:$dir/native" PULSE_COOKIE="$dir/cookie"
  for _ in $(seq 150); do
    pactl info >/dev/null 2>&1 && break
    pid_running "$pid" || break
    sleep 0.1
  done
  pactl info >/dev/null 2>&1 || { echo "PulseAudio did not come up:" >&2; cat "$dir/log" >&2; return 1; }
  if [ "$for" = file ]; then
    echo "sound: the file's own"
    return 0
  fi
  setsid ffmpeg -nostdin -loglevel error -re -f lavfi -i "sine=frequency=1000:sample_rate=44100" -ac 2 \
    -f pulse -device strivon_tone "Strivon tone" >"$dir/tone.log" 2>&1 &
  peer_pids+=("$! TERM")
  private_microphone="Monitor of Strivon tone"
  echo "sound: a private PulseAudio playing a 1 kHz tone into \"$private_microphone\""
}

# The command line of scripts/run, checked whole before anything is set up or
# started: a refusal names the argument and why, then the one-line usage,
# and ends the script with 2. Sourced by scripts/run; parse_run_options sets
# url, seconds, mic, file, verbose and host_options (what the host is given).

run_usage_line="usage: scripts/run [rtmp://host[:port]/app/stream] [--seconds N] [--size WxH] [--fps N] \
[--mic NAME] [--file MEDIA] [--verbose] [--help]"

refuse() {
  echo "scripts/run: $1" >&2
  echo "$run_usage_line" >&2
  exit 2
}

# whole_number <text> <low> <high>: true for plain digits within low..high.
whole_number() {
  [[ $1 =~ ^[0-9]{1,6}$ ]] && ((10#$1 >= $2 && 10#$1 <= $3))
}

check_size() {
  local w h
  [[ $1 =~ ^([0-9]{1,6})x([0-9]{1,6})$ ]] || refuse "--size $1: write the size as WxH, e.g. 1280x720"
  w=$((10#${BASH_REMATCH[1]}))
  h=$((10#${BASH_REMATCH[2]}))
  ((w >= 16 && w <= 7680 && h >= 16 && h <= 4320)) || refuse "--size $1: width 16..7680, height 16..4320"
  # The encoder takes 4:2:0 pictures: both sides must halve evenly.
  ((w % 2 == 0 && h % 2 == 0)) || refuse "--size $1: sides must be even"
}

check_file() {
  [ -e "$1" ] || refuse "--file $1: no such file"
  [ -f "$1" ] || refuse "--file $1: not a regular file"
  [ -r "$1" ] || refuse "--file $1: not readable"
}

parse_run_options() {
  url=""
  seconds=""
  mic=""
  file=""
  verbose=""
  host_options=()
  while [ $# -gt 0 ]; do
    case $1 in
      -h | --help) usage; exit 0 ;;
      --verbose) verbose=1; host_options+=(--verbose); shift ;;
      --seconds | --size | --fps | --mic | --file)
        [ $# -ge 2 ] || refuse "$1 needs a value"
        case $1 in
          --seconds) whole_number "$2" 0 86400 || refuse "--seconds $2: a whole number of seconds 0..86400"
            seconds=$((10#$2)) ;;
          --size) check_size "$2"; host_options+=(--size "$2") ;;
          --fps) whole_number "$2" 1 60 || refuse "--fps $2: frame rate 1..60"
            host_options+=(--fps "$((10#$2))") ;;
          --mic) [ -n "$2" ] || refuse "--mic needs the name of an input"
            mic=$2 ;;
          --file) check_file "$2"; file=$2; host_options+=(--file "$2") ;;
        esac
        shift 2 ;;
      *://*)
        [ -z "$url" ] || refuse "$1: more than one address"
        [[ $1 =~ ^rtmp://[^/]+/[^/]+/.+$ ]] || refuse "$1: an address is rtmp://host[:port]/app/stream"
        url=$1
        shift ;;
      *) refuse "unknown argument $1" ;;
    esac
  done
  # The library stops the microphone while a file plays.
  [ -z "$mic" ] || [ -z "$file" ] || refuse "--mic $mic: --file publishes the file's own sound"
}

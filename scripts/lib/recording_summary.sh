# print_recording_summary <file>: what ffprobe finds in a recording, one line
# per stream plus its length. Fails when the file holds no stream. Sourced by
# scripts/run.

# probe_fields <file> <stream selector> <entries>: key=value lines.
probe_fields() {
  ffprobe -v error -select_streams "$2" -show_entries "$3" -of default=nw=1 "$1" 2>/dev/null | head -n 20
}

# "30000/1001" -> "29.97", "25/1" -> "25"; "0/0" -> "?"
frame_rate() {
  awk -F/ '{ if ($2 + 0 == 0) print "?"; else { r = $1 / $2; printf (r == int(r) ? "%d\n" : "%.2f\n"), r } }' <<<"$1"
}

# received_rate <frames> <seconds> -> "212 frames, 24.6 per second"
received_rate() {
  awk -v n="$1" -v t="$2" 'BEGIN { if (t + 0 > 0) printf "%d frames, %.1f per second\n", n, n / t; else printf "%d frames\n", n }'
}

print_recording_summary() {
  local file=$1 key value found=1
  if [ ! -s "$file" ]; then
    echo "the server recorded nothing ($file is missing or empty)"
    return 1
  fi
  local -A v=() a=() f=()
  while IFS== read -r key value; do v[$key]=$value; done \
    < <(probe_fields "$file" v:0 stream=codec_name,profile,width,height,avg_frame_rate,r_frame_rate)
  while IFS== read -r key value; do a[$key]=$value; done \
    < <(probe_fields "$file" a:0 stream=codec_name,profile,sample_rate,channels)
  while IFS== read -r key value; do f[$key]=$value; done \
    < <(ffprobe -v error -show_entries format=duration,size -of default=nw=1 "$file" 2>/dev/null)
  echo "recorded by the server: $file"
  if [ -n "${v[codec_name]:-}" ]; then
    local rate=${v[avg_frame_rate]:-0/0}
    [ "$rate" = 0/0 ] && rate=${v[r_frame_rate]:-0/0}
    # The stream's own rate is what the publisher announced; the count shows
    # how many pictures actually arrived.
    local frames
    frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
      -of csv=p=0 "$file" 2>/dev/null | head -n1)
    echo "  video: ${v[codec_name]} (${v[profile]:-?}) ${v[width]:-?}x${v[height]:-?}, $(frame_rate "$rate") fps" \
      "($(received_rate "${frames:-0}" "${f[duration]:-0}"))"
    found=0
  fi
  if [ -n "${a[codec_name]:-}" ]; then
    echo "  audio: ${a[codec_name]} (${a[profile]:-?}) ${a[sample_rate]:-?} Hz, ${a[channels]:-?} channels"
    found=0
  fi
  [ $found -eq 0 ] || echo "  no picture or sound stream in it"
  local duration=${f[duration]:-?}
  [[ $duration =~ ^[0-9]+(\.[0-9]+)?$ ]] && duration=$(printf '%.1f' "$duration")
  echo "  duration: $duration s, ${f[size]:-?} bytes"
  return $found
}

#!/usr/bin/env bash
# Two data-centre nodes behind one HAProxy address (TCP mode), one mosquitto, and
# a simulator fleet connecting through HAProxy with --reconnect. Half-way through,
# node n1 is killed (SIGKILL): its terminals reconnect through HAProxy to n2 and go
# on. At the end the script checks: uploads were acknowledged, every terminal has
# readings in a node's store, every stored reading reached the broker, both nodes
# served terminals, and the broker shows n1 offline (its last will) and n2 online.
# (Uploads repeat the records of the current acquisition slots, so readings are
# compared as sets, not counted against acknowledgements.)
#
#   bash scripts/demo-cluster.sh [TERMINALS] [SECONDS]      (default 50 terminals, 40 s)
#
# Everything listens on 127.0.0.1, on free ports; the work folder is printed and
# kept for a look at the logs, stores and the broker's messages.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${HT6630_BIN:-$root/build/bin}"
terminals="${1:-50}"
seconds="${2:-40}"
work="$(mktemp -d /tmp/ht6630-cluster.XXXXXX)"
echo "work folder: $work"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
broker_port=$(free_port); front_port=$(free_port); n1_port=$(free_port); n2_port=$(free_port)

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT

cat > "$work/mosquitto.conf" <<CONF
listener $broker_port 127.0.0.1
allow_anonymous true
persistence false
CONF
mosquitto -c "$work/mosquitto.conf" > "$work/mosquitto.log" 2>&1 & pids+=($!)

for n in n1 n2; do
  port_var="${n}_port"
  cat > "$work/$n.ini" <<CONF
[tcp]
listen = 127.0.0.1:${!port_var}
[udp]
listen =
[store]
path = $work/$n.db
[node]
name = $n
[mqtt]
url = mqtt://127.0.0.1:$broker_port
prefix = ht6630
CONF
done

cat > "$work/haproxy.cfg" <<CONF
global
  maxconn 4000
defaults
  mode tcp
  timeout connect 2s
  timeout client 10m
  timeout server 10m
  retries 3
  option redispatch
frontend terminals
  bind 127.0.0.1:$front_port
  default_backend nodes
backend nodes
  balance leastconn
  server n1 127.0.0.1:$n1_port check inter 500 fall 2 rise 2
  server n2 127.0.0.1:$n2_port check inter 500 fall 2 rise 2
CONF

sleep 0.5   # the broker first: the nodes connect to it at start
mosquitto_sub -h 127.0.0.1 -p "$broker_port" -t 'ht6630/#' -v -q 1 > "$work/mqtt.log" 2>&1 & pids+=($!)
"$bin/ht6630-datacentre" --config "$work/n1.ini" 2> "$work/n1.log" & n1_pid=$!; pids+=($n1_pid)
"$bin/ht6630-datacentre" --config "$work/n2.ini" 2> "$work/n2.log" & pids+=($!)
haproxy -f "$work/haproxy.cfg" -db > "$work/haproxy.log" 2>&1 & pids+=($!)
sleep 1.5

echo "fleet: $terminals terminals through 127.0.0.1:$front_port for $seconds s; n1 is killed at $((seconds / 2)) s"
"$bin/ht6630-terminal" --tcp "127.0.0.1:$front_port" --count "$terminals" --reconnect --ramp 2 \
  --heartbeat 5 --upload-every 10 --records 4 --duration "$seconds" --quiet \
  --set "spare-ip=127.0.0.1" --set "spare-port=$front_port" > "$work/fleet.json" 2> "$work/fleet.log" &
fleet_pid=$!; pids+=($fleet_pid)
sleep $((seconds / 2))
kill -9 "$n1_pid"
echo "n1 killed"
wait "$fleet_pid" || true
sleep 2   # the last acknowledged uploads reach the stores and the broker

python3 - "$work" "$terminals" <<'PY'
import json, os, sqlite3, sys
work = sys.argv[1]
TERMINALS = int(sys.argv[2])
summary = {}
for line in open(os.path.join(work, "fleet.json")):
    if line.startswith('{"summary"'):
        summary = json.loads(line)["summary"]
acked = summary.get("received", {}).get("upload-ack", 0)
stored = set()
per_node = {}
for n in ("n1", "n2"):
    con = sqlite3.connect("file:%s?mode=ro" % os.path.join(work, n + ".db"), uri=True)
    rows = con.execute("SELECT barcode, time FROM readings").fetchall()
    con.close()
    per_node[n] = len(rows)
    stored |= set(rows)
published, status = set(), {}
for line in open(os.path.join(work, "mqtt.log"), encoding="utf-8", errors="replace"):
    topic, _, payload = line.rstrip("\n").partition(" ")
    if topic.endswith("/reading"):
        r = json.loads(payload)
        published.add((r["barcode"], r["time"]))
    elif topic.startswith("ht6630/nodes/"):
        status[topic.split("/")[-1]] = payload
checks = [
    ("uploads acknowledged", acked > 0, acked),
    ("every terminal has readings stored", len({b for b, _ in stored}) == TERMINALS,
     "%d distinct readings (n1 %d, n2 %d) of %d terminals" % (len(stored), per_node["n1"], per_node["n2"],
                                                            len({b for b, _ in stored}))),
    ("every stored reading reached the broker", stored <= published, "%d published" % len(published)),
    ("n1 offline (last will), n2 online", status.get("n1") == "offline" and status.get("n2") == "online", status),
    ("both nodes served terminals", per_node["n1"] > 0 and per_node["n2"] > 0, per_node),
]
ok = True
for name, good, detail in checks:
    print("%-45s %-4s %s" % (name, "yes" if good else "NO", detail))
    ok = ok and good
sys.exit(0 if ok else 1)
PY

#!/usr/bin/env bash
# Two data-centre nodes behind one HAProxy address (TCP mode), one mosquitto, and
# a simulator fleet connecting through HAProxy with --reconnect. Half-way through,
# node n1 is killed (SIGKILL): its terminals reconnect through HAProxy to n2 and go
# on. Configuration requests are published on the broker's cmd topic for a terminal
# held by n1, one held by n2, and (after the kill) one n1 held before: each reaches
# its terminal through whichever node holds it then. At the end the script checks:
# every record of every upload a node acknowledged is in a store and reached the
# broker, every terminal has readings, both nodes served terminals, each request
# has its result, and the broker shows n1 offline (its last will) and n2 online.
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
  --set "spare-ip=127.0.0.1" --set "spare-port=$front_port" --acked "$work/acked.txt" \
  > "$work/fleet.json" 2> "$work/fleet.log" &
fleet_pid=$!; pids+=($fleet_pid)

# A terminal each node holds now, by the retained status topics.
held_by() {
  python3 - "$work/mqtt.log" "$1" <<'PY'
import json, sys
node, held = sys.argv[2], {}
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    topic, _, payload = line.rstrip("\n").partition(" ")
    if topic.endswith("/status"):
        s = json.loads(payload)
        held[topic.split("/")[1]] = s.get("node") if s.get("online") else None
print(next((b for b, n in sorted(held.items()) if n == node), ""))
PY
}
ask() {   # ask BARCODE ID: read the live temperature and humidity, at once
  mosquitto_pub -h 127.0.0.1 -p "$broker_port" -q 1 -t "ht6630/$1/cmd" \
    -m "{\"id\":\"$2\",\"op\":\"cmdShowPra\",\"when\":\"now\"}"
  echo "request $2 for $1"
}
sleep $((seconds / 4))
on_n1=$(held_by n1); on_n2=$(held_by n2)
[ -n "$on_n1" ] && ask "$on_n1" on-n1
[ -n "$on_n2" ] && ask "$on_n2" on-n2
sleep $((seconds / 2 - seconds / 4))
kill -9 "$n1_pid"
echo "n1 killed"
sleep $((seconds / 4))
[ -n "$on_n1" ] && ask "$on_n1" moved-to-n2
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
acked_records = set()
if os.path.exists(os.path.join(work, "acked.txt")):
    for line in open(os.path.join(work, "acked.txt")):
        bar, time = line.strip().split(",")[:2]   # then the host's clock at the acknowledgement
        acked_records.add((bar, time))
stored = set()
per_node = {}
for n in ("n1", "n2"):
    con = sqlite3.connect("file:%s?mode=ro" % os.path.join(work, n + ".db"), uri=True)
    rows = con.execute("SELECT barcode, time FROM readings").fetchall()
    con.close()
    per_node[n] = len(rows)
    stored |= set(rows)
published, status, results = set(), {}, {}
for line in open(os.path.join(work, "mqtt.log"), encoding="utf-8", errors="replace"):
    topic, _, payload = line.rstrip("\n").partition(" ")
    if topic.endswith("/readings"):   # one message per upload, its records in order
        m = json.loads(payload)
        published |= {(m["barcode"], r["time"]) for r in m["readings"]}
    elif topic.startswith("ht6630/nodes/"):
        status[topic.split("/")[-1]] = payload
    elif topic.endswith("/cmd/result"):
        r = json.loads(payload)
        results[r.get("id")] = r
checks = [
    ("uploads acknowledged", acked > 0 and len(acked_records) > 0,
     "%d uploads, %d distinct records" % (acked, len(acked_records))),
    ("every acknowledged record stored", acked_records <= stored,
     "%d missing" % len(acked_records - stored)),
    ("every acknowledged record reached the broker", acked_records <= published,
     "%d missing" % len(acked_records - published)),
    ("every terminal has readings stored", len({b for b, _ in stored}) == TERMINALS,
     "%d distinct readings (n1 %d, n2 %d) of %d terminals" % (len(stored), per_node["n1"], per_node["n2"],
                                                            len({b for b, _ in stored}))),
    ("every stored reading reached the broker", stored <= published, "%d published" % len(published)),
    ("n1 offline (last will), n2 online", status.get("n1") == "offline" and status.get("n2") == "online", status),
    ("both nodes served terminals", per_node["n1"] > 0 and per_node["n2"] > 0, per_node),
    ("each request answered through its node",
     all(results.get(i, {}).get("ok") for i in ("on-n1", "on-n2", "moved-to-n2")),
     {i: (r.get("ok"), r.get("message")) for i, r in results.items()}),
]
ok = True
for name, good, detail in checks:
    print("%-45s %-4s %s" % (name, "yes" if good else "NO", detail))
    ok = ok and good
sys.exit(0 if ok else 1)
PY

"""ht6630-datacentre for operations: GET /metrics after a small run (the text checked
with promtool, the values against what the simulator sent), Home Assistant discovery
(its value templates rendered with Jinja2 against the state actually published) and
overdue terminals on their retained status, against a real mosquitto."""
import json
import re
import signal
import socket
import subprocess
import time
import unittest
import urllib.error
import urllib.request

import jinja2

import test_datacentre_mqtt as mqtt_tests
from service_support import SERVICE, TERMINAL, Service, free_port
from test_datacentre_cmd import Results, cmd, following
from test_datacentre_mqtt import Broker, messages
from test_datacentre_service import BAR, simulate

SAMPLE = re.compile(r'^(ht6630_\w+)(\{[^}]*\})? (\S+)$')


def scrape(port):
    with urllib.request.urlopen("http://127.0.0.1:%d/metrics" % port, timeout=5) as r:
        return r.headers["Content-Type"], r.read().decode()


def samples(text):
    """{'name{labels}': value} of the samples in a scrape."""
    out = {}
    for line in text.splitlines():
        m = SAMPLE.match(line)
        if m:
            out[m.group(1) + (m.group(2) or "")] = float(m.group(3))
    return out


def stop(proc):
    """Kills `proc` if it still runs and reaps it."""
    if proc.poll() is None:
        proc.kill()
    proc.wait(timeout=10)
    if proc.stdout:
        proc.stdout.close()


def frames_sent(lines):
    """The simulator's frames sent, by kind."""
    sent = {}
    for line in lines:
        if line["dir"] == "tx":
            sent[line["kind"]] = sent.get(line["kind"], 0) + 1
    return sent


class OpsTestCase(unittest.TestCase):
    def setUp(self):
        self.broker = Broker()
        self.addCleanup(self.broker.close)
        self.metrics_port = free_port()
        self.ini = {"mqtt": {"url": "mqtt://127.0.0.1:%d" % self.broker.port, "prefix": "t"}, "node": {"name": "n1"},
                    "dialogue": {"reply_delay_ms": 100}, "log": {"level": "debug"},
                    "metrics": {"listen": "127.0.0.1:%d" % self.metrics_port}}

    def service(self):
        svc = Service(self.ini).__enter__()
        self.addCleanup(svc.__exit__, None, None, None)
        return svc

    def metrics_until(self, want, timeout=15.0):
        """Scrapes until every sample in `want` has its value; the last scrape's samples."""
        deadline = time.monotonic() + timeout
        while True:
            got = samples(scrape(self.metrics_port)[1])
            if all(got.get(k) == v for k, v in want.items()):
                return got
            if time.monotonic() > deadline:
                self.fail("metrics never reached %r: %r" % (want, {k: got.get(k) for k in want}))
            time.sleep(0.1)

    def subscriber(self, count, *topics):
        """mosquitto_sub on `topics` for `count` messages, retained ones left out."""
        extra = [a for t in topics[1:] for a in ("-t", t)]
        sub = self.broker.subscribe(count, "-R", *extra, topic=topics[0])
        self.addCleanup(stop, sub)
        return sub

    def received(self, sub):
        got = messages(sub.stdout)
        self.assertEqual(sub.wait(timeout=25), 0, got)
        return got


class Metrics(OpsTestCase):
    def test_a_small_run_counted(self):
        self.ini["mqtt"]["cmd_timeout_ms"] = 500
        svc = self.service()
        svc.wait_log(b"<6>metrics on http://127.0.0.1:%d/metrics\n" % self.metrics_port)
        svc.wait_log(b"<6>mqtt: connected to")
        self.metrics_until({"ht6630_broker_connected": 1})

        # The broker away: two readings stored and waiting.
        self.broker.stop()
        self.metrics_until({"ht6630_broker_connected": 0})
        tcp = simulate("tcp", svc.tcp_port, "--once", "--records", "2", "--heartbeat", "0.4", "--duration", "1.5")
        svc.wait_log(b"<6>terminal %s offline (tcp" % BAR.encode())
        self.metrics_until({"ht6630_readings_stored_total": 2, "ht6630_readings_waiting": 2,
                            "ht6630_readings_published_total": 0})
        # Back: published and acknowledged, nothing waiting.
        self.broker.start()
        self.metrics_until({"ht6630_broker_connected": 1, "ht6630_readings_published_total": 2,
                            "ht6630_readings_waiting": 0})

        # Over UDP: three readings (two of them the ones stored already: stored and
        # published once) and a heat-meter record; the terminal stays held.
        udp = simulate("udp", svc.udp_port, "--once", "--records", "3", "--heat-meters", "1", "--duration", "1")
        following(svc, BAR)
        results = Results(self.broker)
        self.addCleanup(results.close)
        self.broker.publish("t/%s/cmd" % BAR, cmd("r1", "cmdHear", {"txtHeartbeat": "5"}))   # out of range
        self.broker.publish("t/%s/cmd" % BAR, cmd("r2", "noSuchOp"))
        self.broker.publish("t/%s/cmd" % BAR, cmd("t1", "cmdShowPra"))   # the simulator is gone
        self.assertEqual(sorted(results.take(3)), ["r1", "r2", "t1"])
        got = self.metrics_until({"ht6630_readings_stored_total": 4, "ht6630_readings_published_total": 4,
                                  'ht6630_commands_total{outcome="refused"}': 2,
                                  'ht6630_commands_total{outcome="timeout"}': 1})

        content_type, text = scrape(self.metrics_port)
        self.assertEqual(content_type, "text/plain; version=0.0.4; charset=utf-8")
        check = subprocess.run(["promtool", "check", "metrics"], input=text.encode(), capture_output=True, timeout=30)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        # Every frame the simulator sent, by channel and kind; each timed as its answer
        # waited (UDP heart beats are not answered).
        kinds = {"registration": "registration", "heartbeat": "heartbeat", "upload": "upload",
                 "heat-upload": "heat_upload", "upload-end": "upload_end"}
        answers = 0
        for channel, lines in (("tcp", tcp), ("udp", udp)):
            sent = frames_sent(lines)
            answers += sum(n for kind, n in sent.items() if channel == "tcp" or kind != "heartbeat")
            self.assertEqual(set(sent) - set(kinds), set())
            for kind, name in kinds.items():
                self.assertEqual(got['ht6630_frames_total{channel="%s",kind="%s"}' % (channel, name)], sent.get(kind, 0),
                                 (channel, kind))
        self.assertGreaterEqual(got['ht6630_frames_total{channel="tcp",kind="heartbeat"}'], 1)
        self.assertEqual(got['ht6630_frames_total{channel="udp",kind="heat_upload"}'], 1)
        self.assertEqual(got["ht6630_reply_lateness_seconds_count"], answers)
        self.assertEqual(got['ht6630_reply_lateness_seconds_bucket{le="+Inf"}'], answers)
        self.assertGreater(got["ht6630_event_loop_lateness_seconds_count"], 0)
        self.assertEqual(got['ht6630_terminals_online{channel="tcp"}'], 0)
        self.assertEqual(got['ht6630_terminals_online{channel="udp"}'], 1)
        self.assertEqual((got["ht6630_tcp_connections"], got["ht6630_terminals_overdue"]), (0, 0))
        self.assertEqual(got["ht6630_store_errors_total"], 0)
        self.assertEqual(got['ht6630_build_info{version="1.1.0",node="n1"}'], 1)

    def test_metrics_port_in_use(self):
        svc = Service(self.ini)
        self.addCleanup(svc.dir.cleanup)
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", self.metrics_port))
            taken.listen()
            run = subprocess.run([SERVICE, "--config", svc.config], capture_output=True, timeout=20)
        self.assertEqual(run.returncode, 1, run.stderr)
        self.assertIn(b"<3>cannot listen for metrics on 127.0.0.1:%d: " % self.metrics_port, run.stderr)


class HomeAssistant(OpsTestCase):
    def setUp(self):
        super().setUp()
        self.ini["mqtt"]["discovery"] = "homeassistant"

    def config(self, sensor, device_class, unit, template, expire_after=10800, **device):
        return {
            "name": sensor.capitalize(), "unique_id": "t_%s_%s" % (BAR, sensor),
            "device": dict({"identifiers": [BAR], "name": "HT6630-QN " + BAR, "model": "HT6630-QN"}, **device),
            "device_class": device_class, "state_class": "measurement", "unit_of_measurement": unit,
            "state_topic": "t/%s/state" % BAR, "value_template": template,
            "availability": [{"topic": "t/%s/status" % BAR,
                              "value_template": "{{ 'online' if value_json.online else 'offline' }}",
                              "payload_available": "online", "payload_not_available": "offline"}],
            "expire_after": expire_after}

    def test_sensors_announced_and_again_when_home_assistant_starts(self):
        svc = self.service()
        sub = self.subscriber(5, "homeassistant/#", "t/+/state", "t/+/status")
        sim = subprocess.Popen([TERMINAL, "--udp", "127.0.0.1:%d" % svc.udp_port, "--set", "barcode=" + BAR,
                                "--set", "clock=240517083000", "--set", "clock-runs=0", "--once", "--records", "2",
                                "--duration", "20"], stdout=subprocess.DEVNULL)
        self.addCleanup(stop, sim)
        got = self.received(sub)
        topics = ["homeassistant/sensor/t_%s/%s/config" % (BAR, s) for s in ("temperature", "humidity", "battery")]
        self.assertEqual([t for t, _ in got], topics + ["t/%s/status" % BAR, "t/%s/state" % BAR])
        configs = [json.loads(p) for _, p in got[:3]]
        expected = [self.config("temperature", "temperature", "°C", "{{ value_json.temperature }}"),
                    self.config("humidity", "humidity", "%", "{{ value_json.humidity }}"),
                    self.config("battery", "voltage", "V",
                                "{{ value_json.battery if value_json.battery is defined else None }}")]
        self.assertEqual(configs, expected)
        # Each template, on the state as published, gives the newest record's value.
        env = jinja2.Environment()
        state = json.loads(got[4][1])
        newest = mqtt_tests.DataCentreMqtt.READINGS[1]
        for c, key in zip(configs, ("temperature", "humidity", "battery")):
            self.assertEqual(float(env.from_string(c["value_template"]).render(value_json=state)), newest[key])
        availability = env.from_string(configs[0]["availability"][0]["value_template"])
        self.assertEqual(availability.render(value_json=json.loads(got[3][1])), "online")
        self.assertEqual(availability.render(value_json={"online": False}), "offline")
        self.assertEqual(env.from_string(expected[2]["value_template"]).render(value_json={}), "None")

        # Its firmware read (cmdCJR): the device gains its version.
        following(svc, BAR)
        sub = self.subscriber(3, "homeassistant/#")
        results = Results(self.broker)
        self.addCleanup(results.close)
        self.broker.publish("t/%s/cmd" % BAR, cmd("v1", "cmdCJR"))
        self.assertTrue(results.take(1)["v1"][1]["ok"])
        versioned = [json.loads(p) for _, p in self.received(sub)]
        self.assertEqual(versioned, [dict(c, device=dict(c["device"], sw_version="V1.05")) for c in expected])
        # Home Assistant (re)starts: the terminal held is announced again.
        sub = self.subscriber(3, "homeassistant/sensor/#")
        self.broker.publish("homeassistant/status", "online")
        again = self.received(sub)
        self.assertEqual([t for t, _ in again], topics)
        self.assertEqual([json.loads(p) for _, p in again], versioned)
        out = subprocess.run(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.broker.port), "-t", "homeassistant/#",
                              "-v", "--retained-only", "-W", "1"], capture_output=True, timeout=10).stdout
        self.assertEqual({t: json.loads(p) for t, p in messages(out.splitlines())}, dict(zip(topics, versioned)))


class Overdue(OpsTestCase):
    def test_status_says_overdue_until_the_terminal_reports_again(self):
        svc = self.service()
        sub = self.subscriber(3, "t/+/status")
        sim = subprocess.Popen([TERMINAL, "--tcp", "127.0.0.1:%d" % svc.tcp_port, "--set", "barcode=" + BAR,
                                "--once", "--records", "1", "--heartbeat", "1", "--duration", "40"],
                               stdout=subprocess.DEVNULL)
        self.addCleanup(stop, sim)
        # Three heart beats, two intervals of about 1 s: overdue after about 3 s of silence.
        deadline = time.monotonic() + 15
        while svc.log().count(b"<7>heartbeat %s from" % BAR.encode()) < 3:
            self.assertLess(time.monotonic(), deadline, "no heart beats")
            time.sleep(0.05)
        sim.send_signal(signal.SIGSTOP)   # the connection stays, nothing is sent
        try:
            svc.wait_log(b"<4>terminal %s overdue: nothing for " % BAR.encode(), timeout=20)
            self.metrics_until({"ht6630_terminals_overdue": 1})
        finally:
            sim.send_signal(signal.SIGCONT)
        svc.wait_log(b"<6>terminal %s reports again\n" % BAR.encode(), timeout=20)
        self.metrics_until({"ht6630_terminals_overdue": 0})
        got = self.received(sub)
        online = json.loads(got[0][1])
        self.assertEqual((online["online"], online["channel"]), (True, "tcp"))
        self.assertNotIn("overdue", online)
        self.assertEqual(json.loads(got[1][1]), dict(online, overdue=True))
        self.assertEqual(got[2][1], got[0][1])   # back: the status it came online with


if __name__ == "__main__":
    unittest.main()

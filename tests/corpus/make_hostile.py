#!/usr/bin/env python3
"""Writes the hostile inputs of tests/corpus/hostile from a small network made by varlo-cli.

Usage: make_hostile.py VARLO_CLI. Each file is a damage seen in files from elsewhere; the tests
replay them all (model_tests: .net and .cls; engine_tests: .vlr and .dmp; cli_tests: .json).
"""
import json
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "hostile")
SMALL = {
    "nodes": [{"number": 1, "name": "A", "x": 10, "y": 10}, {"number": 2, "name": "B", "x": 50, "y": 10}],
    "links": [{"first": 1, "second": 2,
               "forward": {"rate": 1234.5, "buffer": 77, "delay": 0.0625},
               "backward": {"rate": 999.25, "buffer": 33, "delay": 0.125}}],
    "classes": [{"type": "udp", "source": 1, "destination": 2, "start": 0, "stop": 0, "rate": 321.75},
                {"type": "tcp", "source": 2, "destination": 1, "start": 0, "stop": 0, "sinkDelay": 0.5}],
}


def d(value):
    return struct.pack("<d", value)


def replace_once(data, old, new):
    assert data.count(old) == 1, (old, data.count(old))
    return data.replace(old, new)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def main():
    cli = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "small.json")
        with open(src, "w") as f:
            json.dump(SMALL, f)
        net = os.path.join(tmp, "small.net")
        cls = os.path.join(tmp, "small.cls")
        subprocess.run([cli, "import", src, "-o", net], check=True)
        subprocess.run([cli, "save-traffic", net, "-o", cls], check=True)
        good = open(net, "rb").read()
        traffic = open(cls, "rb").read()

    # Networks: each must be refused with "... has a bad format."
    write("class_count_one_short.net",
          replace_once(good, b"\x02\x00\xff\xff\x01\x00\x12\x00CConstPoissonClass",
                       b"\x01\x00\xff\xff\x01\x00\x12\x00CConstPoissonClass"))
    write("trailing_byte.net", good + b"\x00")
    write("self_link.net", replace_once(good, b"\x01\x00\x02\x00" + d(1234.5), b"\x01\x00\x01\x00" + d(1234.5)))
    write("nan_service_rate.net", replace_once(good, d(1234.5), d(float("nan"))))
    write("negative_service_rate.net", replace_once(good, d(1234.5), d(-1234.5)))
    write("denormal_service_rate.net", replace_once(good, d(1234.5), d(2.1e-314)))
    write("infinite_delay.net", replace_once(good, d(0.0625), d(float("inf"))))
    write("buffer_half_packet.net", replace_once(good, d(77.0), d(0.5)))
    write("buffer_zero.net", replace_once(good, d(77.0), d(0.0)))
    write("negative_class_rate.net", replace_once(good, d(321.75), d(-321.75)))
    write("nan_sink_delay.net", replace_once(good, d(0.5), d(float("nan"))))
    # Traffic files: the same.
    write("trailing_bytes.cls", traffic + b"\x01\x02")
    write("class_count_one_short.cls", b"\x01" + traffic[1:])
    write("infinite_class_rate.cls", replace_once(traffic, d(321.75), d(float("inf"))))

    # Rate files: each must stop a run before its first step.
    write("nan_rate.vlr", "0 10\n0.5 nan\n")
    write("infinite_time.vlr", "0 10\ninf 3\n")
    write("negative_rate.vlr", "0 10\n1 -5\n")
    write("endless_line.vlr", "0 " + "1" * 20000 + "\n")

    # Dumps of one link and one class (8 values a row): each has a damaged row 2.
    head = "/n.net\n1 1 3\n0 1 2 3 4 5 6 7\n"
    write("word_in_row.dmp", head + "0.1 1 2 three 4 5 6 7\n0.2 1 2 3 4 5 6 7\n")
    write("short_row.dmp", head + "0.1 1 2 3 4 5 6\n0.2 1 2 3 4 5 6 7\n")
    write("long_row.dmp", head + "0.1 1 2 3 4 5 6 7 8\n")
    write("nul_in_row.dmp", head + "0.1 1 2 \x00 4 5 6 7\n")

    # JSON networks: each must be refused by import, naming the element (see expect.txt).
    base = json.dumps(SMALL)
    def j(name, text):
        write(name, text)
    def mutated(name, change):
        doc = json.loads(base)
        change(doc)
        j(name, json.dumps(doc))
    mutated("x_past_32_bits.json", lambda n: n["nodes"][0].update(x=2147483648))
    mutated("size_2_to_40.json", lambda n: n["nodes"][1].update(size=2 ** 40))
    mutated("next_number_wraps.json", lambda n: n.update(nextNodeNumber=4294967301))
    mutated("thickness_past_32_bits.json", lambda n: n["links"][0].update(thickness=-2147483649))
    mutated("colour_with_blank.json", lambda n: n["nodes"][0].update(backColor="# 12345"))
    mutated("colour_with_signs.json", lambda n: n["links"][0].update(lineColor="#-1-1-1"))
    mutated("negative_rate.json", lambda n: n["links"][0]["forward"].update(rate=-5))
    mutated("buffer_half_packet.json", lambda n: n["links"][0]["backward"].update(buffer=0.5))
    mutated("negative_class_rate.json", lambda n: n["classes"][0].update(rate=-1))
    mutated("folder_as_trace.json", lambda n: n["classes"].append(
        {"type": "trace", "source": 1, "destination": 2, "start": 0, "stop": 0, "traceFile": ".", "slot": 0.1}))
    mutated("zero_slot.json", lambda n: n["classes"].append(
        {"type": "trace", "source": 1, "destination": 2, "start": 0, "stop": 0, "traceFile": "x", "slot": 0}))
    j("text_after_value.json", base + "garbage")
    j("duplicate_key.json", base.replace('"name": "B",', '"name": "B", "name": "C",'))
    j("huge_number.json", base.replace("321.75", "1e400"))


if __name__ == "__main__":
    main()

#!/usr/bin/env bash
# The example converted to BUFR and read with ecCodes' own dump tool: the
# JSON it prints holds the example's first station, its temperature and
# pressure, and the ship's call sign. Skips (77) without bufr_dump. PACKER:
# own (the default) or eccodes.
set -euo pipefail
tavro=${1:?usage: bufr_dump_example.sh TAVRO [PACKER]}
packer=${2:-own}
tavro=$(cd "$(dirname "$tavro")" && pwd)/$(basename "$tavro")
top=$(cd "$(dirname "$0")/.." && pwd)
command -v bufr_dump >/dev/null || { echo "bufr_dump is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$top"/examples/* "$work"/
cd "$work"
"$tavro" -ba -bp "$packer" -ou bufr 23120712.syn 2>/dev/null
bufr_dump -jf 23120712.bufr > dump.json
/usr/bin/python3 - dump.json <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
# The flat dump lists the data elements of every message in turn; each
# message starts with its subset number.
msgs = []
for el in doc["messages"]:
    if el["key"] == "subsetNumber":
        msgs.append([])
    msgs[-1].append((el["key"], el["value"]))

def value(els, key):
    return next(v for k, v in els if k == key)

assert len(msgs) == 11, f"{len(msgs)} messages"
first = msgs[0]
assert value(first, "wigosLocalIdentifierCharacter").strip() == "72403"
assert abs(value(first, "airTemperature") - 288.15) < 0.006, value(first, "airTemperature")
assert value(first, "pressureReducedToMeanSeaLevel") == 101320
assert value(first, "windSpeed") == 2.6
ships = [m for m in msgs if any(k == "shipOrMobileLandStationIdentifier" for k, _ in m)]
assert len(ships) == 1
assert value(ships[0], "shipOrMobileLandStationIdentifier").strip() == "WDC6923"
assert abs(value(ships[0], "oceanographicWaterTemperature") - 288.15) < 0.006
print("bufr_dump: 11 messages, values as expected")
PY
# The same file through ecCodes' Python reader.
/usr/bin/python3 - 23120712.bufr <<'PY'
import sys
import eccodes

with open(sys.argv[1], "rb") as f:
    n = 0
    while True:
        h = eccodes.codes_bufr_new_from_file(f)
        if h is None:
            break
        eccodes.codes_set(h, "unpack", 1)
        if n == 0:
            assert eccodes.codes_get(h, "#1#stationNumber") == 403
            assert abs(eccodes.codes_get(h, "#1#dewpointTemperature") - 282.05) < 0.006
            assert eccodes.codes_get(h, "#1#pastWeather1") == eccodes.CODES_MISSING_LONG
        eccodes.codes_release(h)
        n += 1
assert n == 11, n
print("python3-eccodes: 11 messages, values as expected")
PY

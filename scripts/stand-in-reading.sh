# Sourced by scripts that need a reading without touching any account: `stand_in_reading <folder>`
# makes <folder>/home with a stand-in `codex` program and a stand-in Claude Code sign-in, and starts
# a stand-in of Anthropic's usage endpoint on 127.0.0.1. It sets `home`, `server_pid` (the caller
# stops it) and `usage_url` (for METERWRIGHT_CLAUDE_USAGE_URL). The here-documents keep column 0.

stand_in_reading() {
local scratch=$1
home="$scratch/home"
mkdir -p "$home/.local/bin" "$home/.claude"

# A `codex` that speaks just enough of the app-server exchange: it answers the rate-limit request
# (id 2) with a five-hour and a seven-day window and waits to be stopped.
cat >"$home/.local/bin/codex" <<'PY'
#!/usr/bin/env python3
import json, sys, time
for line in sys.stdin:
    try:
        message = json.loads(line)
    except ValueError:
        continue
    now = int(time.time())
    if message.get("id") == 1:
        answer = {"userAgent": "demo-codex/0.0"}
    elif message.get("id") == 2:
        answer = {"rateLimits": {
            "limitId": "codex", "planType": "plus",
            "primary": {"usedPercent": 23, "windowDurationMins": 300, "resetsAt": now + 7300},
            "secondary": {"usedPercent": 61.5, "windowDurationMins": 10080,
                          "resetsAt": now + 3 * 86400 + 3600}}}
    else:
        continue
    print(json.dumps({"jsonrpc": "2.0", "id": message["id"], "result": answer}), flush=True)
PY
chmod 755 "$home/.local/bin/codex"

# Claude Code's sign-in file, with an obviously fake token that expires in a day.
expires_ms=$(( ($(date +%s) + 86400) * 1000 ))
cat >"$home/.claude/.credentials.json" <<JSON
{"claudeAiOauth": {"accessToken": "demo-not-a-real-token", "refreshToken": "demo-not-a-real-refresh",
 "expiresAt": $expires_ms, "subscriptionType": "max"}}
JSON
chmod 600 "$home/.claude/.credentials.json"

# The usage endpoint: answers /api/oauth/usage with two windows, anything else with 404. It picks
# a free port and writes it to a file once it listens.
cat >"$scratch/server.py" <<'PY'
import datetime, http.server, json, os, sys

def at(seconds):
    moment = datetime.datetime.now(datetime.timezone.utc) + datetime.timedelta(seconds=seconds)
    return moment.isoformat(timespec="milliseconds").replace("+00:00", "Z")

class Usage(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path != "/api/oauth/usage":
            self.send_error(404)
            return
        body = json.dumps({"five_hour": {"utilization": 42, "resets_at": at(3 * 3600 + 900)},
                           "seven_day": {"utilization": 87.5, "resets_at": at(2 * 86400)}})
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body.encode())

    def log_message(self, *arguments):
        pass

server = http.server.HTTPServer(("127.0.0.1", 0), Usage)
with open(sys.argv[1] + ".partial", "w") as port_file:
    port_file.write(str(server.server_address[1]))
os.rename(sys.argv[1] + ".partial", sys.argv[1])
server.serve_forever()
PY
python3 "$scratch/server.py" "$scratch/port" &
server_pid=$!
for _ in $(seq 100); do
  [ -s "$scratch/port" ] && break
  kill -0 "$server_pid" 2>/dev/null || { echo "$(basename "$0"): the usage server did not start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$scratch/port" ] || { echo "$(basename "$0"): the usage server did not start" >&2; exit 1; }
port=$(cat "$scratch/port")
usage_url="http://127.0.0.1:$port/api/oauth/usage"
}

#!/usr/bin/env python3
"""A small JSON-RPC 2.0 client for `vyx serve`, written with nothing but the
standard library: requests are written with the json module, replies are
read line by line. It drives one device session over stdio or TCP against
the fake Android device and exits non-zero on the first unexpected reply.

    serve_client.py --vyx BIN --adb FAKE_ADB --work DIR --transport stdio|tcp
                    [--draft OUT] [--bundle OUT]
"""

import argparse
import json
import os
import socket
import subprocess
import sys
import time


class Client:
    def __init__(self, reader, writer):
        self.reader = reader
        self.writer = writer
        self.next_id = 1

    def send_raw(self, data: bytes):
        self.writer.write(data)
        self.writer.flush()

    def read_reply(self):
        line = self.reader.readline()
        if not line.endswith(b"\n"):
            raise AssertionError("reply without line feed: %r" % line)
        return json.loads(line)

    def call(self, method, params=None, **extra):
        request = {"jsonrpc": "2.0", "id": self.next_id, "method": method}
        if params is not None:
            request["params"] = params
        request.update(extra)
        self.next_id += 1
        self.send_raw(json.dumps(request).encode() + b"\n")
        reply = self.read_reply()
        expect(reply.get("jsonrpc") == "2.0", "jsonrpc member", reply)
        expect(reply.get("id") == request["id"], "echoed id", reply)
        return reply

    def result(self, method, params=None):
        reply = self.call(method, params)
        expect("result" in reply and "error" not in reply, method + " succeeds", reply)
        return reply["result"]


def expect(condition, what, detail=None):
    if not condition:
        raise AssertionError("%s failed: %s" % (what, json.dumps(detail)[:2000]))


def protocol(client):
    """Requests that need no device: envelopes, errors and framing."""
    expect(client.result("session.create") == {"sessionId": "default"}, "session.create")
    capabilities = client.result("runner.capabilities")
    expect(len(capabilities["methods"]) == 30 and capabilities["methods"][-1] == "trace.export", "methods",
           capabilities)
    reply = client.call("app.install")
    expect(reply.get("error") == {"code": -32000, "message": "MissingParam", "publicCode": "cli.missing_param"},
           "error reply", reply)
    reply = client.call("ui.swipe", {"x1": 2 ** 31, "y1": 0, "x2": 0, "y2": 0})
    expect(reply.get("error", {}).get("message") == "ParamMustBeInteger", "range error", reply)
    reply = client.call("no.such.method")
    expect(reply.get("error") == {"code": -32601, "message": "method not found"}, "-32601", reply)

    # Framing: several requests in one write, a blank line, CRLF, a request
    # without id and one with a string id; one reply line each, in order.
    client.send_raw(b'{"jsonrpc":"2.0","id":"a","method":"session.close"}\r\n\n   \n'
                    b'{"jsonrpc":"2.0","method":"session.create"}\n'
                    b'[1]\n{"id":"b","method":"session.close"}\n')
    replies = [client.read_reply() for _ in range(4)]
    expect([r.get("id") for r in replies] == ["a", None, None, "b"], "pipelined ids", replies)
    expect(replies[2]["error"]["code"] == -32600, "batch refused", replies)


def session(client, args):
    """A device session: launch, look, act, wait, then the trace methods."""
    protocol(client)
    expect(client.result("app.launch") is True, "app.launch")

    semantic = client.result("observe.semanticSnapshot")
    by_role = {}
    for node in semantic["nodes"]:
        by_role.setdefault(node["role"], node)
    expect("textbox" in by_role and "button" in by_role, "semantic roles", semantic)
    field, button = by_role["textbox"], by_role["button"]
    expect(field["recommendedAction"] == "type" and button["recommendedAction"] == "tap", "actions", semantic)
    expect(semantic["summary"]["interactiveCount"] >= 2, "summary", semantic)

    # Selectors from the semantic snapshot go back unchanged.
    expect(client.result("ui.tap", {"selector": button["selector"]}) is True, "ui.tap")
    expect(client.result("ui.type", {"text": "ada@example.com"}) is True, "ui.type")
    expect(client.result("wait.until", {"visible": field["selector"], "timeoutMs": 3000}) is True, "wait.until")

    page = client.result("trace.events", {"afterSeq": 0, "limit": 1000})
    kinds = [e["kind"] for e in page["events"]]
    expect("rpc.request" in kinds and "app.launch" in kinds and "ui.type" in kinds, "event kinds", kinds)
    expect(page["nextSeq"] == page["events"][-1]["seq"], "nextSeq", page)

    explanation = client.result("trace.explain")
    expect(isinstance(explanation, dict) and explanation.get("traceDir") == args.trace_dir, "trace.explain",
           explanation)

    if args.draft:
        drafted = client.result("trace.discover", {"out": args.draft, "validate": True, "force": True})
        expect(drafted.get("ok") is True, "trace.discover", drafted)
        expect(os.path.exists(args.draft), "drafted file")
    if args.bundle:
        exported = client.result("trace.export", {"out": args.bundle, "redact": True})
        expect(exported == {"traceDir": args.trace_dir, "out": args.bundle, "redacted": True,
                            "omitScreenshots": False}, "trace.export", exported)
        expect(os.path.getsize(args.bundle) > 0, "bundle written")


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def connect(port, server, deadline_s=30.0):
    end = time.monotonic() + deadline_s
    while True:
        try:
            return socket.create_connection(("127.0.0.1", port), timeout=30)
        except OSError:
            if server.poll() is not None or time.monotonic() > end:
                raise
            time.sleep(0.05)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--vyx", required=True)
    parser.add_argument("--adb", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--transport", choices=["stdio", "tcp"], required=True)
    parser.add_argument("--draft")
    parser.add_argument("--bundle")
    args = parser.parse_args()
    args.trace_dir = os.path.join(args.work, "trace-" + args.transport)
    command = [args.vyx, "serve", "--adb", args.adb, "--app-id", "com.example.app", "--trace-dir", args.trace_dir]

    if args.transport == "stdio":
        server = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            session(Client(server.stdout, server.stdin), args)
            server.stdin.close()
            expect(server.wait(timeout=60) == 0, "clean exit at end of input")
        finally:
            if server.poll() is None:
                server.kill()
                server.wait()
        return 0

    port = free_port()
    server = subprocess.Popen(command + ["--transport", "tcp", "--port", str(port)])
    try:
        # Over TCP the protocol part and one device action; the device session
        # and its trace carry over to the next client.
        with connect(port, server) as conn:
            client = Client(conn.makefile("rb"), conn.makefile("wb"))
            protocol(client)
            expect(client.result("app.launch") is True, "app.launch")
        with connect(port, server) as conn:
            client = Client(conn.makefile("rb"), conn.makefile("wb"))
            page = client.result("trace.events", {"afterSeq": 0, "limit": 1000})
            kinds = [e["kind"] for e in page["events"]]
            expect("app.launch" in kinds and kinds[-1] == "rpc.request", "same session for the next client", kinds)
        expect(server.poll() is None, "server still running")
    finally:
        server.terminate()
        server.wait(timeout=60)
    return 0


if __name__ == "__main__":
    sys.exit(main())

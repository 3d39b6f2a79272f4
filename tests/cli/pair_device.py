#!/usr/bin/env python3
"""A paired device written from the protocol's description alone, for the --pair test.

Connects to host:port, pairs with the typed code, checks the computer's confirmation, waits for
the first sealed snapshot and opens it. Prints one JSON object: what the computer said and the
payload it sent. Exits 0 only when all of that worked.

Frames: a 4-byte big-endian length, then UTF-8 JSON. Messages are one-member objects naming the
case, the record under "_0". Bytes are standard Base64, UUIDs upper-case, dates seconds since 1970.
"""

import argparse
import base64
import hashlib
import hmac
import json
import socket
import struct
import sys
import uuid

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric.x25519 import X25519PrivateKey, X25519PublicKey
from cryptography.hazmat.primitives.ciphers.aead import ChaCha20Poly1305
from cryptography.hazmat.primitives.kdf.hkdf import HKDF
from cryptography.hazmat.primitives.serialization import Encoding, PublicFormat

VERSION = 2
ALPHABET = "0123456789ABCDEFGHJKMNPQRSTVWXYZ"
LINK_PREFIX = "meterwright://pair/"
MAX_FRAME = 1048576


def normalise(text):
    kept = []
    for ch in text.upper():
        ch = {"O": "0", "I": "1", "L": "1"}.get(ch, ch)
        if ch in ALPHABET:
            kept.append(ch)
    return "".join(kept)


def parse_code(text):
    text = text.strip()
    if text.lower().startswith(LINK_PREFIX):
        text = text[len(LINK_PREFIX):]
    code = normalise(text)
    if len(code) != 10:
        raise ValueError("no pairing code in the text")
    return code


def transcript(label, parts):
    out = ("Meterwright/%d/%s" % (VERSION, label)).encode("utf-8")
    for part in parts:
        out += struct.pack(">I", len(part)) + part
    return out


def proof(code, label, parts):
    key = hashlib.sha256(code.encode("utf-8")).digest()
    return hmac.new(key, transcript(label, parts), hashlib.sha256).digest()


def derive_key(private_key, peer_public, token):
    secret = private_key.exchange(X25519PublicKey.from_public_bytes(peer_public))
    return HKDF(algorithm=hashes.SHA256(), length=32, salt=token.encode("utf-8"),
                info=("Meterwright pairing v%d" % VERSION).encode("utf-8")).derive(secret)


def send(sock, message):
    body = json.dumps(message).encode("utf-8")
    sock.sendall(struct.pack(">I", len(body)) + body)


def receive_exactly(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            raise ConnectionError("the computer closed the connection")
        data += chunk
    return data


def receive(sock):
    (length,) = struct.unpack(">I", receive_exactly(sock, 4))
    if length > MAX_FRAME:
        raise ValueError("frame too large")
    message = json.loads(receive_exactly(sock, length).decode("utf-8"))
    if not isinstance(message, dict) or len(message) != 1:
        raise ValueError("a message has exactly one member")
    (case, value), = message.items()
    return case, value.get("_0") if isinstance(value, dict) else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--code", required=True)
    parser.add_argument("--name", default="Test Phone")
    parser.add_argument("--timeout", type=float, default=20)
    arguments = parser.parse_args()

    code = parse_code(arguments.code)
    device_id = str(uuid.uuid4()).upper()
    private_key = X25519PrivateKey.generate()
    public_key = private_key.public_key().public_bytes(Encoding.Raw, PublicFormat.Raw)
    b64 = lambda data: base64.b64encode(data).decode("ascii")

    result = {"paired": False}
    with socket.create_connection((arguments.host, arguments.port), arguments.timeout) as sock:
        sock.settimeout(arguments.timeout)
        send(sock, {"pairRequest": {"_0": {
            "version": VERSION, "deviceID": device_id, "deviceName": arguments.name,
            "platform": "python",
            "publicKey": b64(public_key),
            "proof": b64(proof(code, "pair-request", [device_id.encode("utf-8"), public_key])),
        }}})

        case, accepted = receive(sock)
        if case != "pairAccepted":
            result["refused"] = accepted
            print(json.dumps(result))
            return 1
        mac_public = base64.b64decode(accepted["publicKey"])
        expected = proof(code, "pair-accept", [mac_public, public_key])
        if not hmac.compare_digest(expected, base64.b64decode(accepted["confirmation"])):
            result["error"] = "the computer did not prove the code"
            print(json.dumps(result))
            return 1
        key = derive_key(private_key, mac_public, code)
        result.update(paired=True, macID=accepted["deviceID"], macName=accepted["deviceName"])

        case, envelope = receive(sock)
        if case != "snapshot":
            result["error"] = "expected a snapshot, got " + case
            print(json.dumps(result))
            return 1
        if envelope["version"] > VERSION or envelope["senderID"] != accepted["deviceID"]:
            result["error"] = "an envelope from someone else or from the future"
            print(json.dumps(result))
            return 1
        sealed = base64.b64decode(envelope["sealed"])
        plaintext = ChaCha20Poly1305(key).decrypt(sealed[:12], sealed[12:], None)
        result["payload"] = json.loads(plaintext.decode("utf-8"))

    print(json.dumps(result))
    return 0


if __name__ == "__main__":
    sys.exit(main())

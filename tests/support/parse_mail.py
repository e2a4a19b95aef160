"""Reads messages dumped by smtp-sink with the email package and prints what the tests compare,
as one JSON list: subject, addresses, the text and each attachment's name, size and SHA-256."""
import email
import email.policy
import hashlib
import json
import sys


def describe(path):
    with open(path, "rb") as f:
        raw = f.read()
    message = email.message_from_bytes(raw, policy=email.policy.default)
    result = {
        "subject": str(message.get("Subject", "")),
        "from": str(message.get("From", "")),
        "to": [a.strip() for a in str(message.get("To", "")).split(",") if a.strip()],
        "envelope_from": str(message.get("X-Mail-Args", "")),
        "envelope_to": [str(v) for v in message.get_all("X-Rcpt-Args", [])],
        "helo": str(message.get("X-Helo-Args", "")),
        "content_type": message.get_content_type(),
        "defects": [type(d).__name__ for part in message.walk() for d in part.defects],
        "text": "",
        "text_charset": "",
        "attachments": [],
    }
    for part in message.walk():
        if part.is_multipart():
            continue
        if part.get_content_disposition() == "attachment":
            data = part.get_payload(decode=True) or b""
            result["attachments"].append({
                "filename": part.get_filename() or "",
                "size": len(data),
                "sha256": hashlib.sha256(data).hexdigest(),
            })
        elif part.get_content_type() == "text/plain" and not result["text"]:
            data = part.get_payload(decode=True) or b""
            charset = part.get_content_charset() or "us-ascii"
            result["text"] = data.decode(charset, errors="replace")
            result["text_charset"] = charset
    return result


print(json.dumps([describe(p) for p in sys.argv[1:]]))

"""The send run as a host would script it with Python's standard library: one message per selected
player, the universe file and his turn file attached, each over a connection of its own.

Usage: send_with_smtplib.py SETUP.json
"""
import json
import os
import smtplib
import sys
from email.message import EmailMessage


def main():
    setup = json.load(open(sys.argv[1]))
    host, port = setup["SmtpServer"].rsplit(":", 1)
    for number, player in enumerate(setup["Players"], start=1):
        if not player["Selected"]:
            continue
        message = EmailMessage()
        message["From"] = setup["ReturnAddress"]
        message["To"] = player["EmailAddress"]
        message["Subject"] = setup["MessageSubject"].replace("%P", str(number))
        message.set_content(setup["MessageText"])
        for path in (setup["UniverseFile"], player["PlayerFile"]):
            with open(path, "rb") as f:
                message.add_attachment(f.read(), maintype="application", subtype="octet-stream",
                                       filename=os.path.basename(path))
        with smtplib.SMTP(host, int(port)) as smtp:
            smtp.send_message(message)


if __name__ == "__main__":
    main()

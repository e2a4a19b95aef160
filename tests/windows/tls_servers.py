"""TLS servers for the Windows tests: python3 tls_servers.py FOLDER PORTFILE.

Serves on three ports of 127.0.0.1 (the trusted chain, the self-signed certificate, the leaf whose
issuer is not sent), writes them comma-separated to PORTFILE and answers each line with "echo " and
the line until the client goes, or after "bye" with close_notify."""
import os
import socket
import ssl
import sys
import threading

folder, port_file = sys.argv[1], sys.argv[2]


def serve(listener, context):
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=answer, args=(connection, context), daemon=True).start()


def answer(connection, context):
    try:
        with context.wrap_socket(connection, server_side=True) as tls:
            pending = b""
            while True:
                data = tls.recv(65536)
                if not data:
                    break
                pending += data
                while b"\n" in pending:
                    line, pending = pending.split(b"\n", 1)
                    tls.sendall(b"echo " + line + b"\n")
                    if line == b"bye":
                        tls.unwrap()  # close_notify, then the connection goes
                        return
    except (OSError, ssl.SSLError):
        pass  # a client that refused the certificate, or went away
    finally:
        connection.close()


ports = []
for name in ("trusted", "selfsigned", "partial"):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key"))
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    ports.append(str(listener.getsockname()[1]))
    threading.Thread(target=serve, args=(listener, context), daemon=True).start()
with open(port_file + ".tmp", "w") as out:
    out.write(",".join(ports))
os.rename(port_file + ".tmp", port_file)
threading.Event().wait()

# Sourced by the demo: a Dovecot IMAP server of its own on a loopback port, with its own configuration,
# runtime folder and Maildir under one folder, run by an unprivileged user. Plain text only, which is
# allowed on loopback; nothing of the system's Dovecot is used or touched.

# start_dovecot FOLDER PORT USER PASSWORD: starts it in the background with one mail user, sets
# dovecot_pid and dovecot_conf, and returns once it takes connections. Call it in the script's own
# shell, not in $(...), so that the caller can stop it.
start_dovecot() {
    local folder=$1 port=$2 user=$3 password=$4
    # Dovecot gives no mail access as root: then the mail and the server belong to nobody.
    local owner
    owner=$(id -un)
    [ "$(id -u)" -eq 0 ] && owner=nobody
    local uid gid group
    uid=$(id -u "$owner")
    gid=$(id -g "$owner")
    group=$(id -gn "$owner")
    mkdir -p "$folder/run" "$folder/state" "$folder/mail"
    chmod 755 "$folder"
    chmod 777 "$folder/mail"
    echo "$user:{PLAIN}$password:$uid:$gid::$folder/mail/$user" >"$folder/passwd"
    chmod 644 "$folder/passwd"
    dovecot_conf=$folder/dovecot.conf
    cat >"$dovecot_conf" <<EOF
base_dir = $folder/run
state_dir = $folder/state
log_path = $folder/dovecot.log
protocols = imap
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login
mail_location = maildir:~/Maildir
first_valid_uid = 1
default_internal_user = $owner
default_login_user = $owner
default_internal_group = $group
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $folder/passwd
}
userdb {
  driver = passwd-file
  args = username_format=%u $folder/passwd
}
# No chroot: that needs a system install.
service imap-login {
  chroot =
  inet_listener imap {
    address = 127.0.0.1
    port = $port
  }
  inet_listener imaps {
    port = 0
  }
}
service anvil {
  chroot =
}
service stats {
  inet_listener http {
    port = 0
  }
}
EOF
    /usr/sbin/dovecot -F -c "$dovecot_conf" >"$folder/dovecot.out" 2>&1 &
    dovecot_pid=$!
    for _ in $(seq 200); do
        /usr/bin/python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1).close()' \
            "$port" 2>/dev/null && return 0
        kill -0 "$dovecot_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "Dovecot did not start on port $port:" >&2
    cat "$folder/dovecot.out" "$folder/dovecot.log" >&2 2>/dev/null || true
    return 1
}

# dovecot_save USER FOLDER < MESSAGE: delivers a message as a mail server would.
dovecot_save() {
    /usr/bin/doveadm -c "$dovecot_conf" save -u "$1" -m "$2"
}

# Dovecot's master ends its own processes when it is told to stop.
stop_dovecot() {
    if [ -n "${dovecot_pid:-}" ]; then
        kill "$dovecot_pid" 2>/dev/null || true
        wait "$dovecot_pid" 2>/dev/null || true
        dovecot_pid=
    fi
}

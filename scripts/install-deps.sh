#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need. Idempotent; needs root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools libgl-dev qtkeychain-qt6-dev
    libssl-dev openssl ca-certificates nlohmann-json3-dev libidn2-dev
    libcurl4-openssl-dev libgmime-3.0-dev
    libgtest-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    postfix python3 python3-aiosmtpd
    dovecot-core dovecot-imapd
    xvfb xauth fonts-dejavu-core twm xfonts-base
    desktop-file-utils shared-mime-info man-db
    dpkg-dev file lintian
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# Postfix is wanted only for its smtp-sink and smtp-source test tools, not as a mail system.
echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
# Dovecot is wanted only for the mailbox tests, which start their own on free loopback ports; a system
# service the package may have started is stopped so that it holds no mail ports.
if command -v systemctl >/dev/null && systemctl is-active --quiet dovecot 2>/dev/null; then
    systemctl disable --now dovecot
elif [ -x /etc/init.d/dovecot ] && /etc/init.d/dovecot status >/dev/null 2>&1; then
    /etc/init.d/dovecot stop
    update-rc.d dovecot disable
fi

#!/usr/bin/env bash
# The operating system, OpenSSL and libidn2 are reached only through src/platform: no other folder
# includes their headers, nor does a public header of platform (its posix/ and openssl/ folders may).
# Windows' own headers belong to its win32/ folder alone.
set -euo pipefail
cd "$(dirname "$0")/.."
system='unistd\.h|poll\.h|sys/[^>]+|fcntl\.h|signal\.h|csignal|spawn\.h|pwd\.h|netdb\.h|arpa/[^>]+|netinet/[^>]+|openssl/[^>]+|idn2\.h'
leaks=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<($system)>" src |
            grep -vE '^src/platform/([^/:]+\.cpp|[^/:]+/[^:]+):' || true)
if [ -n "$leaks" ]; then
    echo "System headers outside src/platform's implementation files:" >&2
    echo "$leaks" >&2
    exit 1
fi
windows_headers='windows|winsock2|ws2tcpip|bcrypt|shlobj|shellapi|winioctl|aclapi|sddl|wincrypt|schannel|security|sspi|io|direct|process|winbase|winnt|winerror|ntdef|ntstatus'
leaks=$(grep -rniE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<($windows_headers)\.h>" src |
            grep -vE '^src/platform/win32/[^:]+:' || true)
if [ -n "$leaks" ]; then
    echo "Windows headers outside src/platform/win32:" >&2
    echo "$leaks" >&2
    exit 1
fi

#!/usr/bin/env bash
# The operating system and OpenSSL are reached only through src/platform: no other folder includes
# their headers, nor does a public header of platform (its posix/ and openssl/ folders may).
set -euo pipefail
cd "$(dirname "$0")/.."
system='unistd\.h|poll\.h|sys/[^>]+|fcntl\.h|signal\.h|csignal|spawn\.h|pwd\.h|netdb\.h|arpa/[^>]+|netinet/[^>]+|openssl/[^>]+'
leaks=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<($system)>" src |
            grep -vE '^src/platform/([^/:]+\.cpp|[^/:]+/[^:]+):' || true)
if [ -n "$leaks" ]; then
    echo "System headers outside src/platform's implementation files:" >&2
    echo "$leaks" >&2
    exit 1
fi

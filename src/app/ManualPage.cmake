# Makes the manual page: the version from the project, the OPTIONS section from the program's own
# option table (printed by turnpost-manual-options into OPTIONS).
file(READ "${OPTIONS}" TURNPOST_MANUAL_OPTIONS)
string(STRIP "${TURNPOST_MANUAL_OPTIONS}" TURNPOST_MANUAL_OPTIONS)
configure_file("${INPUT}" "${OUTPUT}" @ONLY)

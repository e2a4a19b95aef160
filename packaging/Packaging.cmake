# Two Debian packages made by "cpack -G DEB": turnpost (the headless program and its manual page, no Qt
# among its dependencies) and turnpost-desktop (the window program, its menu entry, icons and the file
# type of game setups). Dependencies come from dpkg-shlibdeps; the binaries are stripped into -dbgsym
# packages.
set(CPACK_PACKAGE_NAME turnpost)
set(CPACK_PACKAGE_VENDOR "The Turnpost developers")
set(CPACK_PACKAGE_CONTACT "The Turnpost developers <turnpost@turnpost.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL headless)
if(TURNPOST_DESKTOP)
    list(APPEND CPACK_COMPONENTS_ALL desktop)
endif()

set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_HEADLESS_PACKAGE_NAME turnpost)
set(CPACK_DEBIAN_HEADLESS_DESCRIPTION "mail the turn files of a Stars! game to its players
Turnpost is a tool for the host of a play-by-email game of Stars! (up to
sixteen players). After each turn generation it mails every player his turn
file, and optionally the universe file, with a subject and text that carry
the game name, the game year and the player number.

It speaks SMTP itself (STARTTLS or SSL/TLS, a password or an OAuth2 token
from a command of the host's choice), checks the turn files against the host
file before anybody is mailed, keeps a ledger of every delivery, resends to
the players who did not get their turn, and writes a send report.

This package holds the command-line program, which needs no display and runs
from a host's scripts or cron after each turn generation.")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME turnpost-desktop)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "turnpost (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION "mail the turn files of a Stars! game (windows)
Turnpost is a tool for the host of a play-by-email game of Stars! (up to
sixteen players). After each turn generation it mails every player his turn
file, and optionally the universe file, with a subject and text that carry
the game name, the game year and the player number.

This package holds the main window and the settings dialogs, the menu entry,
the icons and the file type of game setups (*.tpf), so that a double click on
a setup in the file manager opens it.")

# Each package carries its copyright and changelog, as Debian's policy asks.
set(turnpost_changelog ${CMAKE_BINARY_DIR}/packaging/changelog)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog ${turnpost_changelog} @ONLY)
add_custom_command(OUTPUT ${turnpost_changelog}.gz
    COMMAND gzip -9nc ${turnpost_changelog} > ${turnpost_changelog}.gz
    DEPENDS ${turnpost_changelog}
    VERBATIM)
add_custom_target(turnpost_changelog ALL DEPENDS ${turnpost_changelog}.gz)
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    set(package turnpost)
    if(component STREQUAL desktop)
        set(package turnpost-desktop)
    endif()
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
            COMPONENT ${component})
    install(FILES ${turnpost_changelog}.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
            RENAME changelog.gz COMPONENT ${component})
endforeach()

include(CPack)

# The Windows package: a zip made by "cpack -G ZIP" holding turnpost.exe, its manual as text and a
# README for Windows, all with Windows' line ends. The manual is the Linux manual page, its OPTIONS
# section printed by the Windows build's own option lister (run under the cross build's emulator, Wine)
# and set as plain text by groff; the target turnpost_windows_package_files makes both texts.
find_program(TURNPOST_GROFF groff)
set(turnpost_package_files ${CMAKE_BINARY_DIR}/packaging/windows)
file(MAKE_DIRECTORY ${turnpost_package_files})

add_executable(turnpost-manual-options ${CMAKE_SOURCE_DIR}/src/app/ManualOptions.cpp)
target_link_libraries(turnpost-manual-options PRIVATE turnpost_app)
set_target_properties(turnpost-manual-options PROPERTIES EXCLUDE_FROM_ALL ON)

set(TURNPOST_VERSION ${PROJECT_VERSION})
configure_file(${CMAKE_CURRENT_LIST_DIR}/windows/README.txt ${turnpost_package_files}/README.in @ONLY)
add_custom_command(OUTPUT ${turnpost_package_files}/README.txt ${turnpost_package_files}/COPYRIGHT.txt
    COMMAND sed "s/$/\\r/" ${turnpost_package_files}/README.in > ${turnpost_package_files}/README.txt
    COMMAND sed "s/$/\\r/" ${CMAKE_CURRENT_LIST_DIR}/copyright > ${turnpost_package_files}/COPYRIGHT.txt
    DEPENDS ${turnpost_package_files}/README.in ${CMAKE_CURRENT_LIST_DIR}/copyright
    VERBATIM)

if(CMAKE_CROSSCOMPILING_EMULATOR AND TURNPOST_GROFF)
    set(page ${turnpost_package_files}/turnpost.1)
    add_custom_command(OUTPUT ${turnpost_package_files}/MANUAL.txt
        # A program of the Windows build writes Windows line ends.
        COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wine
                sh -c "\"$0\" \"$1\" | tr -d '\\r' > \"$2\"" ${CMAKE_CROSSCOMPILING_EMULATOR}
                $<TARGET_FILE:turnpost-manual-options> ${turnpost_package_files}/manual-options.roff
        COMMAND ${CMAKE_COMMAND} -DINPUT=${CMAKE_SOURCE_DIR}/docs/turnpost.1.in
                -DOPTIONS=${turnpost_package_files}/manual-options.roff -DOUTPUT=${page}
                -DPROJECT_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} -DPROJECT_VERSION_MINOR=${PROJECT_VERSION_MINOR}
                -P ${CMAKE_SOURCE_DIR}/src/app/ManualPage.cmake
        # Plain text: no escape sequences, no overstriking, no hyphenation, ragged right, lines a console
        # window shows whole.
        COMMAND sh -c "\"$0\" -man -Tutf8 -rLL=78n -rHY=0 -dAD=l -P-cbou \"$1\" | sed 's/$/\\r/' > \"$2\"" ${TURNPOST_GROFF}
                ${page} ${turnpost_package_files}/MANUAL.txt
        DEPENDS turnpost-manual-options ${CMAKE_SOURCE_DIR}/docs/turnpost.1.in
                ${CMAKE_SOURCE_DIR}/src/app/ManualPage.cmake
        VERBATIM)
    add_custom_target(turnpost_windows_package_files
        DEPENDS ${turnpost_package_files}/README.txt ${turnpost_package_files}/COPYRIGHT.txt
                ${turnpost_package_files}/MANUAL.txt)
    install(FILES ${turnpost_package_files}/README.txt ${turnpost_package_files}/COPYRIGHT.txt
                  ${turnpost_package_files}/MANUAL.txt DESTINATION . COMPONENT headless)
endif()

set(CPACK_PACKAGE_NAME turnpost)
set(CPACK_PACKAGE_VENDOR "The Turnpost developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR ZIP)
# The build keeps its symbols for debugging; the package does not need them.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_FILE_NAME turnpost-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL headless)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)

# The distributed files of the Windows build: LAME cross-built from Debian's source package,
# for the build's own processor.
set(TAMBER_LAME_EXE ${CMAKE_BINARY_DIR}/lame.exe)
set(TAMBER_MINGW_HOST ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
add_custom_command(OUTPUT ${TAMBER_LAME_EXE}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/build-lame.sh ${CMAKE_BINARY_DIR}/lame-build ${TAMBER_LAME_EXE}
            ${TAMBER_MINGW_HOST}
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/build-lame.sh
    COMMENT "Cross-building LAME from Debian's source package" VERBATIM)
add_custom_target(lame ALL DEPENDS ${TAMBER_LAME_EXE})

# The WinHelp file, written from its source in the repository.
set(TAMBER_HELP_FILE ${CMAKE_BINARY_DIR}/tamber.hlp)
add_custom_command(OUTPUT ${TAMBER_HELP_FILE}
    COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/make-help.py
            ${CMAKE_SOURCE_DIR}/res/help/tamber-help.txt ${TAMBER_HELP_FILE}
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-help.py ${CMAKE_SOURCE_DIR}/res/help/tamber-help.txt
    COMMENT "Writing the help file" VERBATIM)
add_custom_target(helpfile ALL DEPENDS ${TAMBER_HELP_FILE})

# The setup file: tamber.exe, tamber.hlp and lame.exe, then the size table, the additive
# checksum and the install mode word, written by a tool built for this machine.
set(TAMBER_MKSETUP ${CMAKE_BINARY_DIR}/mksetup)
add_custom_command(OUTPUT ${TAMBER_MKSETUP}
    COMMAND c++ -std=c++20 -O2 -I${CMAKE_SOURCE_DIR} -o ${TAMBER_MKSETUP}
            ${CMAKE_SOURCE_DIR}/setup/host/mksetup.cpp ${CMAKE_SOURCE_DIR}/setup/payload.cpp
    DEPENDS ${CMAKE_SOURCE_DIR}/setup/host/mksetup.cpp ${CMAKE_SOURCE_DIR}/setup/payload.cpp
            ${CMAKE_SOURCE_DIR}/setup/payload.h VERBATIM)
set(TAMBER_SETUP_EXE ${CMAKE_BINARY_DIR}/tamber-setup.exe)
add_custom_command(OUTPUT ${TAMBER_SETUP_EXE}
    COMMAND ${TAMBER_MKSETUP} ${TAMBER_SETUP_EXE} $<TARGET_FILE:tamber> ${TAMBER_HELP_FILE}
            ${TAMBER_LAME_EXE}
    DEPENDS tamber ${TAMBER_MKSETUP} ${TAMBER_HELP_FILE} ${TAMBER_LAME_EXE}
    COMMENT "Writing the setup file" VERBATIM)
add_custom_target(setupfile ALL DEPENDS ${TAMBER_SETUP_EXE})

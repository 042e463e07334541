# The distributed files of the Windows build: LAME cross-built from Debian's source package.
set(TAMBER_LAME_EXE ${CMAKE_BINARY_DIR}/lame.exe)
add_custom_command(OUTPUT ${TAMBER_LAME_EXE}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/build-lame.sh ${CMAKE_BINARY_DIR}/lame-build ${TAMBER_LAME_EXE}
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/build-lame.sh
    COMMENT "Cross-building LAME from Debian's source package" VERBATIM)
add_custom_target(lame ALL DEPENDS ${TAMBER_LAME_EXE})

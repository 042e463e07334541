# The install-on-demand components this build makes: the Opus decoder and encoder cross-built
# from Debian's source packages for the build's own processor (once per build tree), each packed
# into the installer the servers' "components" folder publishes (components/<name>.exe).
set(TAMBER_OPUS_TOOLS ${CMAKE_BINARY_DIR}/opus-tools/opusdec.exe ${CMAKE_BINARY_DIR}/opus-tools/opusenc.exe)
add_custom_command(OUTPUT ${TAMBER_OPUS_TOOLS}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/build-opus-tools.sh ${CMAKE_BINARY_DIR}/opus-build
            ${CMAKE_BINARY_DIR}/opus-tools ${TAMBER_MINGW_HOST}
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/build-opus-tools.sh
    COMMENT "Cross-building opusdec and opusenc from Debian's source packages" VERBATIM)

add_executable(componentinstaller external/win32/installer/componentinstaller.cpp)
target_include_directories(componentinstaller PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(componentinstaller shell32 advapi32)
target_link_options(componentinstaller PRIVATE -s)  # no symbols in what is downloaded

set(TAMBER_COMPONENT_INSTALLERS)
foreach(name opusdec opusenc)
    set(installer ${CMAKE_BINARY_DIR}/components/${name}.exe)
    add_custom_command(OUTPUT ${installer}
        COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/pack-component.py
                $<TARGET_FILE:componentinstaller> ${CMAKE_BINARY_DIR}/opus-tools/${name}.exe
                ${name} ${installer}
        DEPENDS componentinstaller ${CMAKE_BINARY_DIR}/opus-tools/${name}.exe
                ${CMAKE_SOURCE_DIR}/scripts/pack-component.py
        COMMENT "Packing the ${name} component installer" VERBATIM)
    list(APPEND TAMBER_COMPONENT_INSTALLERS ${installer})
endforeach()
add_custom_target(components ALL DEPENDS ${TAMBER_COMPONENT_INSTALLERS})

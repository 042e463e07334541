# Toolchain for the 32-bit Windows build, the product.
set(TAMBER_MINGW_PROCESSOR i686)
set(TAMBER_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Toolchain for the x86-64 Windows build: the same sources as the 32-bit product, for machines
# whose kernel runs no 32-bit programs.
set(TAMBER_MINGW_PROCESSOR x86_64)
set(TAMBER_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

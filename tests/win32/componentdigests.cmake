# Writes the component table of the test programs: the installers the test FTP servers publish
# (external_ftp_test.py) are the stand-in installer under other names and the build's own
# component installers (COMPONENTS: their files, each named after its component).
# Usage: cmake -DINSTALLER=<file> "-DCOMPONENTS=<file;...>" -DOUT=<file.cpp> -P componentdigests.cmake
file(SHA256 ${INSTALLER} digest)
file(SIZE ${INSTALLER} size)
set(rows "")
foreach(name ftpfirst ftpsecond ftpnosize ftpslow hangcomp ftpwrong ftpendless)
    string(APPEND rows "    {\"${name}\", ${size}, \"${digest}\"},\n")
endforeach()
foreach(component ${COMPONENTS})
    get_filename_component(name ${component} NAME_WE)
    file(SHA256 ${component} digest)
    file(SIZE ${component} size)
    string(APPEND rows "    {\"${name}\", ${size}, \"${digest}\"},\n")
endforeach()
file(WRITE ${OUT}.new "// The test servers' installers (written by componentdigests.cmake).
#include \"external/componentdigests.h\"

const LComponentDigest kComponentDigests[] = {\n${rows}    {nullptr, 0, nullptr}};
")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)

# Writes the component table of the test programs: every installer the test FTP servers
# publish is the stand-in installer under another name (external_ftp_test.py).
# Usage: cmake -DINSTALLER=<file> -DOUT=<file.cpp> -P componentdigests.cmake
file(SHA256 ${INSTALLER} digest)
file(SIZE ${INSTALLER} size)
set(rows "")
foreach(name ftpfirst ftpsecond ftpnosize ftpslow hangcomp ftpwrong ftpendless)
    string(APPEND rows "    {\"${name}\", ${size}, \"${digest}\"},\n")
endforeach()
file(WRITE ${OUT}.new "// The test servers' installers (written by componentdigests.cmake).
#include \"external/componentdigests.h\"

const LComponentDigest kComponentDigests[] = {\n${rows}    {nullptr, 0, nullptr}};
")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)

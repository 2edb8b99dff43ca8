# Run by the Windows build (cmake -P): copies the text IN to OUT with Windows'
# line ends, CR LF, and each @VERSION@ in it replaced by VERSION when given.
# -D IN=FILE -D OUT=FILE [-D VERSION=X.Y.Z]
cmake_minimum_required(VERSION 3.16)
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
if(DEFINED VERSION)
  string(REPLACE "@VERSION@" "${VERSION}" text "${text}")
endif()
file(WRITE "${OUT}" "${text}")

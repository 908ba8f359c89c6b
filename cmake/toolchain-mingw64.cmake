# Cross-compiles for Windows x64 with mingw-w64 (posix thread model, which
# provides std::thread and std::mutex) and runs the results under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER ${_triple}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
find_program(CMAKE_RC_COMPILER ${_triple}-windres)
find_program(TESSARY_WIDL ${_triple}-widl)
if(NOT CMAKE_C_COMPILER OR NOT CMAKE_CXX_COMPILER)
  message(FATAL_ERROR "mingw-w64 posix compilers not found: run scripts/bootstrap.sh")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

find_program(TESSARY_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT TESSARY_WINE64)
  message(FATAL_ERROR "wine64 not found under /usr/lib/wine: run scripts/bootstrap.sh")
endif()

# Cross build for 64-bit Windows with Clang and LLD against the MinGW-w64
# headers and libraries, with the C++ library of MinGW-w64's GCC (POSIX
# threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-windows-gnu)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-windows-gnu)
find_program(CMAKE_RC_COMPILER NAMES llvm-windres llvm-windres-14 llvm-windres-15 llvm-windres-16 REQUIRED)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Debian names GCC's directory "12-posix", a version that Clang does not
# recognise, so its C++ headers and libraries are named here.
file(GLOB gcc_directories /usr/lib/gcc/x86_64-w64-mingw32/*-posix)
list(SORT gcc_directories COMPARE NATURAL)
list(POP_BACK gcc_directories gcc_directory)
if(NOT gcc_directory)
  message(FATAL_ERROR "MinGW-w64's GCC (POSIX threads) not found: apt-get install g++-mingw-w64-x86-64-posix")
endif()
set(cxx_headers ${gcc_directory}/include/c++)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${cxx_headers} -isystem ${cxx_headers}/x86_64-w64-mingw32 -isystem ${cxx_headers}/backward")
# GCC's C++ library takes its threads from winpthreads (LLD finds archive
# members in any order).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -B${gcc_directory} -L${gcc_directory} -lpthread")

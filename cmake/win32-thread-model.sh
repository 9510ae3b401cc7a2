#!/bin/sh
# Compiler and linker launcher for the shipped program: runs the mingw-w64 compiler of the win32
# thread model in place of the posix one the toolchain file names (".../x86_64-w64-mingw32-g++-posix").
compiler=$1
shift
exec "${compiler%-posix}-win32" "$@"

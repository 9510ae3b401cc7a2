# Windows build: the adapters, the toolkit, the program and its resources; Windows tests run under Wine.

# Reproducible binaries: the same sources give the same bytes whatever folder they are built in and
# whenever. Paths the compiler would embed (__FILE__ in assertions) are made relative, and the
# linker writes 0 instead of the time in the PE header, which also fixes the checksum over it.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
add_link_options(-Wl,--no-insert-timestamp)

file(GLOB_RECURSE TARNVIK_WIN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*_win.cpp)
# The two entry points (the window program's and the console twin's) are each their program's own.
list(FILTER TARNVIK_WIN_SOURCES EXCLUDE REGEX "/w(in)?main_win\\.cpp$|lock_win\\.cpp$")
# The portable logic's lock is a critical section on Windows (src/base/lock.h): its one Windows
# file goes with the logic, which needs it, into tarnvik_core.
list(APPEND TARNVIK_CORE_SOURCES ${CMAKE_SOURCE_DIR}/src/base/lock_win.cpp)
target_sources(tarnvik_core PRIVATE ${CMAKE_SOURCE_DIR}/src/base/lock_win.cpp)

# Unicode Win32 calls; Windows XP is the lowest system the program's calls need.
set(TARNVIK_WIN_DEFINES UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501 WINVER=0x0501)
set(TARNVIK_WIN_LIBS wbemuuid ole32 oleaut32 uuid comctl32 gdi32 user32 advapi32 psapi shell32 mpr)

target_compile_definitions(tarnvik_core PUBLIC ${TARNVIK_WIN_DEFINES})
target_compile_options(tarnvik_core PRIVATE -ffunction-sections -fdata-sections)

# The screen readers' object is called only through COM, which no C++ exception may cross, and
# throws nothing. On x86 it carries no unwind tables, which keeps the program under its size
# limit; x64 Windows needs a function table entry for every function that calls another, or an
# exception raised beneath it (inside oleacc, or from a client's bad pointer) cannot reach COM's
# handler and ends the process (scripts/release checks that the entries are there).
set(TARNVIK_ACCESSIBLE_OPTIONS -fno-exceptions)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND TARNVIK_ACCESSIBLE_OPTIONS -fno-asynchronous-unwind-tables)
endif()
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/ui/toolkit/accessible_button_win.cpp
                            PROPERTIES COMPILE_OPTIONS "${TARNVIK_ACCESSIBLE_OPTIONS}")
add_library(tarnvik_win STATIC ${TARNVIK_WIN_SOURCES})
target_link_libraries(tarnvik_win PUBLIC tarnvik_core ${TARNVIK_WIN_LIBS})
target_compile_options(tarnvik_win PRIVATE -ffunction-sections -fdata-sections)

# Artwork: a host program draws the button pictures and the icon from code at build time.
find_program(TARNVIK_HOST_CXX NAMES c++ g++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)
set(TARNVIK_ART_DIR ${CMAKE_BINARY_DIR}/art)
set(TARNVIK_ARTGEN_SOURCES ${CMAKE_SOURCE_DIR}/tools/artgen/artgen.cpp ${CMAKE_SOURCE_DIR}/src/ui/toolkit/artwork.cpp
    ${CMAKE_SOURCE_DIR}/src/ui/toolkit/icon_artwork.cpp)
set(TARNVIK_ART_FILES ${TARNVIK_ART_DIR}/tarnvik.ico ${TARNVIK_ART_DIR}/close_normal.bmp ${TARNVIK_ART_DIR}/close_hot.bmp
    ${TARNVIK_ART_DIR}/minimise_normal.bmp ${TARNVIK_ART_DIR}/minimise_hot.bmp)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/artgen
  COMMAND ${TARNVIK_HOST_CXX} -std=c++20 -O2 -I${CMAKE_SOURCE_DIR}/src ${TARNVIK_ARTGEN_SOURCES} -o ${CMAKE_BINARY_DIR}/artgen
  DEPENDS ${TARNVIK_ARTGEN_SOURCES} ${CMAKE_SOURCE_DIR}/src/ui/toolkit/artwork.h
          ${CMAKE_SOURCE_DIR}/src/ui/toolkit/artwork_paint.h
          ${CMAKE_SOURCE_DIR}/tools/artgen/image_files.h
  COMMENT "Building the artwork generator (host)")
add_custom_command(
  OUTPUT ${TARNVIK_ART_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARNVIK_ART_DIR}
  COMMAND ${CMAKE_BINARY_DIR}/artgen ${TARNVIK_ART_DIR}
  DEPENDS ${CMAKE_BINARY_DIR}/artgen
  COMMENT "Drawing the button pictures and the icon")
add_custom_target(tarnvik_art DEPENDS ${TARNVIK_ART_FILES})

# The manifest carries the project's version, so it is generated beside the version header.
configure_file(${CMAKE_SOURCE_DIR}/src/ui/main_window/tarnvik.manifest ${TARNVIK_GENERATED_DIR}/tarnvik.manifest @ONLY)
set(TARNVIK_RC ${CMAKE_SOURCE_DIR}/src/ui/main_window/tarnvik.rc)
set_source_files_properties(${TARNVIK_RC} PROPERTIES
  OBJECT_DEPENDS "${TARNVIK_ART_FILES};${TARNVIK_GENERATED_DIR}/tarnvik.manifest;${TARNVIK_GENERATED_DIR}/tarnvik_version.h;${CMAKE_SOURCE_DIR}/src/ui/toolkit/resource_ids.h;${CMAKE_SOURCE_DIR}/src/base/version_info.rc")
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${TARNVIK_ART_DIR} -I${TARNVIK_GENERATED_DIR} -I${CMAKE_SOURCE_DIR}/src")

# The shipped program runs on the win32 thread model: the posix model's runtime (winpthread)
# imports GetTickCount64, which keeps the program from loading before Vista. GoogleTest needs the
# posix model, so the tests and tools link tarnvik_win, and the program has its own build of the
# same sources, compiled and linked by the win32 model's compilers (src/base/lock.h is the lock
# both builds use on Windows).
set(TARNVIK_WIN32_THREADS sh ${CMAKE_SOURCE_DIR}/cmake/win32-thread-model.sh)

# The linker keeps every function of an object it takes: each has an unwind entry, and those
# entries are all kept. So what the program never calls stays out of its objects (the icon is a
# resource, drawn only at build time), and IPA-SRA is off: its clones of header functions are
# local to each object, so every object that calls one carried its own copy (6 KB on x86).
set(TARNVIK_PROGRAM_SOURCES ${TARNVIK_CORE_SOURCES} ${TARNVIK_WIN_SOURCES})
list(FILTER TARNVIK_PROGRAM_SOURCES EXCLUDE REGEX "/icon_artwork\\.cpp$")
add_library(tarnvik_program_lib STATIC ${TARNVIK_PROGRAM_SOURCES})
target_include_directories(tarnvik_program_lib PUBLIC ${CMAKE_SOURCE_DIR}/src ${TARNVIK_GENERATED_DIR})
target_compile_definitions(tarnvik_program_lib PUBLIC ${TARNVIK_WIN_DEFINES})
target_compile_options(tarnvik_program_lib PRIVATE -ffunction-sections -fdata-sections -fno-ipa-sra)
target_link_libraries(tarnvik_program_lib PUBLIC ${TARNVIK_WIN_LIBS})

add_executable(tarnvik WIN32 ${CMAKE_SOURCE_DIR}/src/startup/winmain_win.cpp ${TARNVIK_RC})
add_dependencies(tarnvik tarnvik_art)
target_link_libraries(tarnvik PRIVATE tarnvik_program_lib)
set_target_properties(tarnvik tarnvik_program_lib PROPERTIES
  CXX_COMPILER_LAUNCHER "${TARNVIK_WIN32_THREADS}" CXX_LINKER_LAUNCHER "${TARNVIK_WIN32_THREADS}")
# One self-contained .exe: no mingw runtime DLL, unused code dropped, symbols stripped.
target_link_options(tarnvik PRIVATE -static -municode -s -Wl,--gc-sections)
# ASLR and DEP (and on x64 the whole 64-bit address range for ASLR), asked for by name rather than
# left to the linker's defaults; scripts/release checks that the shipped .exe files have them.
target_link_options(tarnvik PRIVATE -Wl,--dynamicbase -Wl,--nxcompat
                    $<$<EQUAL:${CMAKE_SIZEOF_VOID_P},8>:-Wl,--high-entropy-va>)

# The console twin, tarnvik.com: the same saving runs for shells and scripts, which wait for a
# console program (typing "tarnvik" runs it, since PATHEXT lists .COM before .EXE). It links the
# same library; --gc-sections and the static link leave out every object it never reaches, the
# window toolkit and the forms among them, which scripts/release checks in the link map.
set(TARNVIK_CONSOLE_RC ${CMAKE_SOURCE_DIR}/src/startup/tarnvik_console.rc)
set_source_files_properties(${TARNVIK_CONSOLE_RC} PROPERTIES
  OBJECT_DEPENDS "${TARNVIK_GENERATED_DIR}/tarnvik.manifest;${TARNVIK_GENERATED_DIR}/tarnvik_version.h;${CMAKE_SOURCE_DIR}/src/base/version_info.rc")
add_executable(tarnvik_console ${CMAKE_SOURCE_DIR}/src/startup/wmain_win.cpp ${TARNVIK_CONSOLE_RC})
# Its import library (of no exports) is named apart from the window program's.
set_target_properties(tarnvik_console PROPERTIES OUTPUT_NAME tarnvik SUFFIX .com IMPORT_SUFFIX -console.dll.a
  CXX_COMPILER_LAUNCHER "${TARNVIK_WIN32_THREADS}" CXX_LINKER_LAUNCHER "${TARNVIK_WIN32_THREADS}")
target_link_libraries(tarnvik_console PRIVATE tarnvik_program_lib)
target_link_options(tarnvik_console PRIVATE -static -municode -s -Wl,--gc-sections
                    -Wl,-Map=${CMAKE_BINARY_DIR}/tarnvik.com.map -Wl,--dynamicbase -Wl,--nxcompat
                    $<$<EQUAL:${CMAKE_SIZEOF_VOID_P},8>:-Wl,--high-entropy-va>)

# Test tools that run beside the program under Wine.
file(GLOB TARNVIK_TOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*/*_tool_win.cpp)
foreach(src ${TARNVIK_TOOL_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  string(REPLACE "_tool_win" "" name ${name})
  add_executable(${name} ${src})
  target_compile_definitions(${name} PRIVATE ${TARNVIK_WIN_DEFINES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE tarnvik_win)
  target_link_options(${name} PRIVATE -static -municode)
endforeach()

if(TARNVIK_TESTS)
  enable_testing()
  include(GoogleTest)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  file(GLOB TARNVIK_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cpp)
  if(TARNVIK_WIN_TESTS)
    add_executable(tarnvik_win_tests ${TARNVIK_WIN_TESTS})
    target_include_directories(tarnvik_win_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(tarnvik_win_tests PRIVATE tarnvik_win gtest gtest_main oleacc)
    target_link_options(tarnvik_win_tests PRIVATE -static)
    add_dependencies(tarnvik_win_tests tarnvik)  # the resource tests read the built program
    gtest_discover_tests(tarnvik_win_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
  endif()
endif()

# The help file the program opens in Notepad lives beside the .exe; it names the version and keeps
# CRLF line ends for Notepad however the source was checked out.
configure_file(${CMAKE_SOURCE_DIR}/src/ui/commands/ReadMe.txt ${CMAKE_BINARY_DIR}/ReadMe.txt @ONLY NEWLINE_STYLE CRLF)

include(cmake/release.cmake)

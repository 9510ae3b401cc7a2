# The release archive: tarnvik.exe, its console twin tarnvik.com and ReadMe.txt in a folder named
# after the archive, made by `cpack` in a Windows build folder (scripts/release runs it for both
# architectures).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TARNVIK_RELEASE_ARCH win64)
else()
  set(TARNVIK_RELEASE_ARCH win32)
endif()

# One component per file: CPack adds components in name order, while files within a component
# come in whatever order the file system lists them, which differs between file systems.
install(TARGETS tarnvik RUNTIME DESTINATION . COMPONENT program)
install(TARGETS tarnvik_console RUNTIME DESTINATION . COMPONENT console)
install(FILES ${CMAKE_BINARY_DIR}/ReadMe.txt DESTINATION . COMPONENT readme)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "QELM Soft")
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${TARNVIK_RELEASE_ARCH})
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
# Packaging installs the program only; it does not first build every test and tool of the folder.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)

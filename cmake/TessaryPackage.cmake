# The release packages, made by CPack from the install rules (module/): a ZIP
# to unpack into the calendar's application folder and an installer that
# puts the same files there, both named
# tessary-ai-bridge-<version>-win64.{zip,exe}. scripts/release.sh builds
# them from a release configuration (preset "release").
set(CPACK_PACKAGE_NAME "tessary-ai-bridge")
set(CPACK_PACKAGE_VENDOR "${TESSARY_PRODUCT_NAME}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "AI assistant access (MCP) to the Tessary desktop calendar")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(TESSARY_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_FILE_NAME "${TESSARY_PACKAGE_FILE_NAME}")
set(CPACK_GENERATOR "ZIP;NSIS")
# The archive's root is the application folder itself.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

# The installer (cmake/package/NSIS.template.in): it asks for the calendar's
# folder, by default where the calendar installs itself, and refuses one
# without the calendar's program.
set(CPACK_NSIS_PACKAGE_NAME "${TESSARY_PRODUCT_NAME} ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "${TESSARY_PRODUCT_NAME}")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Tessary")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "TessaryAiBridge")
# The calendar's program, by the name the calendar ships it under.
set(CPACK_NSIS_TESSARY_PROGRAM "Tessary.exe")
# The named mutex it holds while it runs (as tessary-mcp detects it).
set(CPACK_NSIS_TESSARY_MUTEX "__MUTEX_TESSARY_EXE__")
list(PREPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/package)

include(CPack)

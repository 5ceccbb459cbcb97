# The Windows packages: an NSIS installer and a zip holding the static exe,
# both named qvl-utility-<version>-win64, with qvlctl.exe (a console program
# for scripts) beside the program.
install(TARGETS qvl-utility qvlctl RUNTIME DESTINATION .)

set(CPACK_PACKAGE_NAME "qvl-utility")
set(CPACK_PACKAGE_VENDOR "Orra")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Orra QVL Utility: configures the QVL unit over its USB serial port")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "qvl-utility-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Orra QVL Utility")
set(CPACK_PACKAGE_EXECUTABLES "qvl-utility" "Orra QVL Utility")
set(CPACK_GENERATOR "NSIS;ZIP")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

# A 64-bit installer for a 64-bit program: it sees the 64-bit Program Files
# and registry without redirection.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_DISPLAY_NAME "Orra QVL Utility")
set(CPACK_NSIS_PACKAGE_NAME "Orra QVL Utility")   # also the Start menu folder
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_ICON "${QVL_ICO_FILE}")
set(CPACK_NSIS_MUI_UNIICON "${QVL_ICO_FILE}")
set(CPACK_NSIS_INSTALLED_ICON_NAME "qvl-utility.exe")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
include(CPack)
